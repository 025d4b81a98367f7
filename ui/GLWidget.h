#pragma once

#include <QGLWidget>
#include <QMutex>
#include <atomic>
#include <cstdint>

// The camera preview: keeps the latest converted picture (24-bit blue,
// green, red, rows top first, packed) and draws it as one texture stretched
// over the whole widget. A 15 ms timer repaints only when a new picture
// arrived. Pictures come from the preview thread through SetFrame; the rest
// runs on the GUI thread.
class GLWidget : public QGLWidget {
    Q_OBJECT

public:
    // Room for the largest picture the preview takes: 1920 x 1080 at 3 bytes.
    static constexpr int CAPACITY = 1920 * 1080 * 3;
    // Repaint check period: a new picture shows within one tick.
    static constexpr int REPAINT_MS = 15;
    // Side of the black start picture.
    static constexpr int START_SIZE = 120;

    explicit GLWidget(QWidget* parent);
    ~GLWidget() override;

    // Preview thread: copies a width x height picture of size bytes
    // (width x height x 3) to be drawn at the next tick. 0; -1 when the
    // buffer does not exist yet (before the widget was first shown), or the
    // picture does not fit it or its size does not match.
    int SetFrame(const uint8_t* pixels, int size, int width, int height);
    // GUI thread: a black 120 x 120 picture. Nothing before the buffer
    // exists.
    void ResetPicture();

    // Pictures uploaded to the texture so far (each new picture at most
    // once), for the benchmark. Any thread.
    int64_t DrawnPictures() const { return m_drawn.load(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void timerEvent(QTimerEvent* event) override;
    // The preview takes mouse events so that they do not reach the window.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    bool m_newPicture;   // a picture arrived since the last upload
    uint8_t* m_pixels;   // owned; CAPACITY bytes from initializeGL on
    int m_capacity;      // 0 until the buffer exists
    int m_width;
    int m_height;
    QMutex m_lock;       // guards the four fields above
    int m_timerId;       // -1 until initializeGL starts it
    std::atomic<int64_t> m_drawn;
};

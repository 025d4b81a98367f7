#include "ui/GLWidget.h"

#include <QMutexLocker>
#include <QTimerEvent>
#include <cstdio>
#include <cstring>

GLWidget::GLWidget(QWidget* parent)
    : QGLWidget(QGLFormat(QGL::SampleBuffers), parent), m_newPicture(false), m_pixels(nullptr),
      m_capacity(0), m_width(0), m_height(0), m_timerId(-1), m_drawn(0) {}

GLWidget::~GLWidget() {
    if (m_timerId != -1)
        killTimer(m_timerId);
    delete[] m_pixels;
}

int GLWidget::SetFrame(const uint8_t* pixels, int size, int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || (int64_t)width * height * 3 != size)
        return -1;
    QMutexLocker guard(&m_lock);
    // The camera may start before the widget is first shown.
    if (!m_pixels || size > m_capacity)
        return -1;
    m_newPicture = true;
    memcpy(m_pixels, pixels, size);
    m_width = width;
    m_height = height;
    return 0;
}

void GLWidget::ResetPicture() {
    QMutexLocker guard(&m_lock);
    if (!m_pixels)
        return;
    m_newPicture = true;
    m_width = m_height = START_SIZE;
    memset(m_pixels, 0, m_capacity);
}

QSize GLWidget::sizeHint() const { return QSize(400, 400); }

QSize GLWidget::minimumSizeHint() const { return QSize(50, 50); }

void GLWidget::timerEvent(QTimerEvent*) {
    bool newPicture;
    {
        QMutexLocker guard(&m_lock);
        newPicture = m_newPicture;
    }
    if (newPicture)
        update();
}

void GLWidget::mousePressEvent(QMouseEvent*) {}

void GLWidget::mouseMoveEvent(QMouseEvent*) {}

void GLWidget::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    // No texture object of our own: the one bound (normally the default
    // texture 0) holds the picture.
    glEnable(GL_TEXTURE_2D);
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    printf("use current texture id: %d \n", texture);
    fflush(stdout);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);

    {
        QMutexLocker guard(&m_lock);
        if (!m_pixels) {
            m_pixels = new uint8_t[CAPACITY];
            m_capacity = CAPACITY;
        }
        m_newPicture = false;
    }
    ResetPicture();
    if (m_timerId == -1)
        m_timerId = startTimer(REPAINT_MS);
}

void GLWidget::resizeGL(int w, int h) { glViewport(0, 0, w, h); }

void GLWidget::paintGL() {
    {
        QMutexLocker guard(&m_lock);
        if (m_newPicture && m_pixels) {
            m_newPicture = false;
            // Rows are packed: a width of odd pixel count leaves rows that
            // are not a multiple of 4 bytes long.
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, m_width, m_height, 0, GL_BGR, GL_UNSIGNED_BYTE,
                         m_pixels);
            ++m_drawn;
        }
    }
    // The buffer's first row at the top, stretched over the whole viewport.
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, -1.0f);
    glEnd();
}

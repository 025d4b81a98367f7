#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <string>

// The desktop's screen-sharing portal (org.freedesktop.portal.ScreenCast on
// the session bus): asks the user for a monitor or a window and hands out a
// PipeWire connection and the node of its video stream.
//
// The handshake runs on the thread that owns the object (the UI thread),
// driven by its event loop: Open starts it, evtStarted tells how it ended.
// Every step answers twice, first the method's reply, later a Response
// signal on a request object whose path the caller can predict; the signal
// may arrive before the reply, so each step subscribes before it calls.
class ScreenCastPortal : public QObject {
    Q_OBJECT

public:
    // What to share (the portal's source types).
    enum SourceType { SOURCE_MONITOR = 1, SOURCE_WINDOW = 2 };
    // How the handshake ended.
    enum Outcome {
        OUTCOME_NONE,       // still running (or not started)
        OUTCOME_STARTED,    // a stream is ready: PipeWireFd, NodeId
        OUTCOME_CANCELLED,  // the user closed the dialog: no message
        OUTCOME_REFUSED,    // the desktop said no
        OUTCOME_FAILED      // no bus, no portal, an error: ErrorText says which
    };
    // What a failed handshake found missing, for the user's message.
    enum Missing { MISSING_NOTHING, MISSING_BUS, MISSING_PORTAL, MISSING_PIPEWIRE };

    explicit ScreenCastPortal(QObject* parent = nullptr);
    // Closes the session.
    ~ScreenCastPortal() override;

    // The token of an earlier grant, sent so that the user is not asked
    // again ("" for none). The newest token is kept after each Start: a
    // token is valid once, so the caller stores RestoreToken() after every
    // start.
    void SetRestoreToken(const std::string& token) { m_token = token; }
    const std::string& RestoreToken() const { return m_token; }

    // Starts the handshake for a monitor or a window. 0 when under way
    // (evtStarted follows), -1 when it cannot begin (no session bus, no
    // portal: ErrorText says what is missing, outcome OUTCOME_FAILED).
    int Open(SourceType type);
    // What Open asked for.
    SourceType Type() const { return m_type; }
    // Runs the event loop until the handshake ends or timeoutMs passes;
    // the outcome (OUTCOME_NONE on time-out). For callers without a loop of
    // their own (commands, tests).
    Outcome WaitForStart(int timeoutMs);
    // Ends the session (the desktop stops its sharing indicator) and closes
    // the descriptor. Safe in any state, twice.
    void Close();

    Outcome outcome() const { return m_outcome; }
    // A sentence for the log; "" after a cancel.
    const std::string& ErrorText() const { return m_error; }
    // What was missing when the outcome is OUTCOME_FAILED: MISSING_NOTHING
    // for another error.
    Missing missing() const { return m_missing; }
    // After OUTCOME_STARTED: the PipeWire connection (owned here: the
    // stream connects on a duplicate), the stream's node, its place and
    // size on the desktop (0 when not given), and whether the cursor comes
    // as metadata (else it is in the picture, or hidden).
    int PipeWireFd() const { return m_pipeWireFd; }
    uint32_t NodeId() const { return m_nodeId; }
    int StreamX() const { return m_streamX; }
    int StreamY() const { return m_streamY; }
    int StreamWidth() const { return m_streamWidth; }
    int StreamHeight() const { return m_streamHeight; }
    bool CursorAsMetadata() const { return m_cursorMode == CURSOR_METADATA; }
    // The portal's interface version (0 before Open).
    unsigned Version() const { return m_version; }
    // True once the desktop ended the session (its own "stop sharing").
    bool SessionClosed() const { return m_closed; }

signals:
    // The handshake ended; outcome is an Outcome.
    void evtStarted(int outcome);
    // The desktop ended the session after a start.
    void evtClosed();

private slots:
    void OnResponse(uint response, const QVariantMap& results);
    void OnSessionClosed(const QVariantMap& details);

private:
    // The portal's cursor modes (bits of AvailableCursorModes).
    enum { CURSOR_HIDDEN = 1, CURSOR_EMBEDDED = 2, CURSOR_METADATA = 4 };
    enum Step { STEP_NONE, STEP_CREATE, STEP_SELECT, STEP_START };

    // Each step: subscribes to its request's Response, then calls.
    int CreateSession();
    int SelectSources();
    int StartCast();
    int OpenPipeWireRemote();
    // Calls method with args plus a fresh handle_token in the options
    // (the last argument); 0, or -1 (failed).
    int Request(const char* method, QVariantList args, Step step);
    void Unsubscribe();
    void Finish(Outcome outcome, const std::string& error, Missing missing);
    void CloseSession();
    // Reads a property of the ScreenCast interface; 0 when unreadable.
    unsigned ReadProperty(const char* name);
    void ReadStreams(const QVariant& streams);

    SourceType m_type;
    Step m_step;
    Outcome m_outcome;
    std::string m_error;
    Missing m_missing;
    std::string m_token;
    bool m_tokenSent;    // this attempt's SelectSources carried m_token
    bool m_retried;      // a stale token was already retried without it
    QString m_sender;    // our unique bus name, as request paths spell it
    QString m_request;   // the request path subscribed to, "" for none
    QString m_session;   // the session's object path, "" for none
    unsigned m_version;
    unsigned m_cursorMode;
    int m_pipeWireFd;
    uint32_t m_nodeId;
    int m_streamX, m_streamY, m_streamWidth, m_streamHeight;
    bool m_closed;
};

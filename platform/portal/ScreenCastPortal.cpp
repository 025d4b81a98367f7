#include "platform/portal/ScreenCastPortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <fcntl.h>
#include <unistd.h>

#include "os/OS_Log.h"

namespace {

const char* const PORTAL_SERVICE = "org.freedesktop.portal.Desktop";
const char* const PORTAL_PATH = "/org/freedesktop/portal/desktop";
const char* const SCREENCAST = "org.freedesktop.portal.ScreenCast";
const char* const REQUEST = "org.freedesktop.portal.Request";
const char* const SESSION = "org.freedesktop.portal.Session";

// Restore tokens and persist_mode came with version 4 of the interface.
const unsigned TOKEN_VERSION = 4;
// persist_mode 2: the grant lasts until the user revokes it.
const unsigned PERSIST_UNTIL_REVOKED = 2;
// The answers of a Request (0 is success).
const unsigned RESPONSE_CANCELLED = 1;

const char* const NO_BUS_TEXT =
    "Screen recording on Wayland needs the desktop's D-Bus session bus, and none was found.";
const char* const NO_PORTAL_TEXT =
    "Screen recording on Wayland needs the desktop's screen-sharing portal "
    "(xdg-desktop-portal with a back end for this desktop, such as xdg-desktop-portal-gnome "
    "or xdg-desktop-portal-kde), and it is not available.";
const char* const NO_PIPEWIRE_TEXT =
    "The screen-sharing portal gave no PipeWire connection: is PipeWire running?";

// Request and session tokens must differ across every portal object of the
// process: they share one bus connection, and so one path prefix.
QString NextToken() {
    static std::atomic<unsigned> serial(0);
    return QString("vidloom%1").arg(++serial);
}

QDBusMessage PortalCall(const char* method) {
    return QDBusMessage::createMethodCall(PORTAL_SERVICE, PORTAL_PATH, SCREENCAST, method);
}

// The session handle is an object path by the interface, but portals send
// it as a string.
QString PathOf(const QVariant& v) {
    if (v.userType() == qMetaTypeId<QDBusObjectPath>())
        return v.value<QDBusObjectPath>().path();
    return v.toString();
}

}  // namespace

ScreenCastPortal::ScreenCastPortal(QObject* parent)
    : QObject(parent), m_type(SOURCE_MONITOR), m_step(STEP_NONE), m_outcome(OUTCOME_NONE),
      m_missing(MISSING_NOTHING), m_tokenSent(false), m_retried(false), m_version(0), m_cursorMode(0),
      m_pipeWireFd(-1), m_nodeId(0), m_streamX(0), m_streamY(0), m_streamWidth(0), m_streamHeight(0), m_closed(false) {}

ScreenCastPortal::~ScreenCastPortal() { Close(); }

int ScreenCastPortal::Open(SourceType type) {
    Close();
    m_type = type;
    m_outcome = OUTCOME_NONE;
    m_error.clear();
    m_missing = MISSING_NOTHING;
    m_retried = false;
    m_closed = false;

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        OS_Log::Error("[ScreenCastPortal::Open] Error: no session bus: %s\n",
                      bus.lastError().message().toUtf8().constData());
        Finish(OUTCOME_FAILED, NO_BUS_TEXT, MISSING_BUS);
        return -1;
    }
    // Request paths spell the unique name without ':' and with '_' for '.'.
    m_sender = bus.baseService().mid(1).replace('.', '_');

    m_version = ReadProperty("version");
    if (m_version == 0) {
        Finish(OUTCOME_FAILED, NO_PORTAL_TEXT, MISSING_PORTAL);
        return -1;
    }
    // Metadata keeps the cursor out of the picture so it can be drawn as
    // on X11; a portal without it draws the cursor into the picture.
    unsigned modes = ReadProperty("AvailableCursorModes");
    m_cursorMode = (modes & CURSOR_METADATA) ? CURSOR_METADATA : (modes & CURSOR_EMBEDDED) ? CURSOR_EMBEDDED : 0;
    OS_Log::Info("screen-sharing portal version %u, cursor modes %u\n", m_version, modes);
    if (CreateSession() != 0)
        return -1;
    return 0;
}

ScreenCastPortal::Outcome ScreenCastPortal::WaitForStart(int timeoutMs) {
    if (m_outcome == OUTCOME_NONE && m_step != STEP_NONE) {
        QEventLoop loop;
        connect(this, &ScreenCastPortal::evtStarted, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_outcome;
}

void ScreenCastPortal::Close() {
    Unsubscribe();
    CloseSession();
    m_step = STEP_NONE;
    if (m_pipeWireFd >= 0) {
        close(m_pipeWireFd);
        m_pipeWireFd = -1;
    }
    m_nodeId = 0;
    m_streamX = m_streamY = m_streamWidth = m_streamHeight = 0;
}

unsigned ScreenCastPortal::ReadProperty(const char* name) {
    QDBusMessage get = QDBusMessage::createMethodCall(PORTAL_SERVICE, PORTAL_PATH,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString(SCREENCAST) << QString(name);
    QDBusReply<QVariant> reply = QDBusConnection::sessionBus().call(get);
    if (!reply.isValid()) {
        OS_Log::Error("[ScreenCastPortal::ReadProperty] Error: %s: %s\n", name,
                      reply.error().message().toUtf8().constData());
        return 0;
    }
    return reply.value().toUInt();
}

int ScreenCastPortal::CreateSession() {
    QVariantMap options;
    options["session_handle_token"] = NextToken();
    return Request("CreateSession", {options}, STEP_CREATE);
}

int ScreenCastPortal::SelectSources() {
    QVariantMap options;
    options["types"] = (uint)m_type;
    options["multiple"] = false;
    if (m_cursorMode != 0)
        options["cursor_mode"] = m_cursorMode;
    m_tokenSent = false;
    if (m_version >= TOKEN_VERSION) {
        options["persist_mode"] = PERSIST_UNTIL_REVOKED;
        if (!m_token.empty()) {
            options["restore_token"] = QString::fromStdString(m_token);
            m_tokenSent = true;
        }
    }
    return Request("SelectSources", {QVariant::fromValue(QDBusObjectPath(m_session)), options}, STEP_SELECT);
}

int ScreenCastPortal::StartCast() {
    return Request("Start", {QVariant::fromValue(QDBusObjectPath(m_session)), QString(), QVariantMap()},
                   STEP_START);
}

int ScreenCastPortal::Request(const char* method, QVariantList args, Step step) {
    // subscribe first: the answer may come before the method's reply
    QString token = NextToken();
    Unsubscribe();
    m_request = QString("%1/request/%2/%3").arg(PORTAL_PATH, m_sender, token);
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(PORTAL_SERVICE, m_request, REQUEST, "Response", this,
                SLOT(OnResponse(uint, QVariantMap)));
    m_step = step;

    // the options are the last argument
    QVariantMap options = args.last().toMap();
    options["handle_token"] = token;
    args.last() = options;
    QDBusMessage call = PortalCall(method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, step](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError() || m_step != step)
            return;
        QDBusError error = w->error();
        OS_Log::Error("[ScreenCastPortal::Request] Error: %s: %s\n", method, error.message().toUtf8().constData());
        bool missing = error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::UnknownInterface ||
                       error.type() == QDBusError::UnknownMethod || error.type() == QDBusError::UnknownObject;
        Finish(OUTCOME_FAILED,
               missing ? NO_PORTAL_TEXT : "The screen-sharing portal failed: " + error.message().toStdString(),
               missing ? MISSING_PORTAL : MISSING_NOTHING);
    });
    return 0;
}

void ScreenCastPortal::Unsubscribe() {
    if (m_request.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(PORTAL_SERVICE, m_request, REQUEST, "Response", this,
                                             SLOT(OnResponse(uint, QVariantMap)));
    m_request.clear();
}

void ScreenCastPortal::OnResponse(uint response, const QVariantMap& results) {
    Step step = m_step;
    Unsubscribe();
    if (response != 0) {
        // a token that no longer matches a grant: ask again without it, once
        if (m_tokenSent && !m_retried && response != RESPONSE_CANCELLED) {
            OS_Log::Info("screen-sharing portal refused the restore token; asking again without it\n");
            m_retried = true;
            m_token.clear();
            CloseSession();
            CreateSession();
            return;
        }
        if (response == RESPONSE_CANCELLED) {
            OS_Log::Info("screen sharing cancelled by the user\n");
            Finish(OUTCOME_CANCELLED, "", MISSING_NOTHING);
        } else {
            OS_Log::Error("[ScreenCastPortal::OnResponse] Error: the desktop refused screen sharing (%u).\n", response);
            Finish(OUTCOME_REFUSED, "The desktop refused to share the screen.", MISSING_NOTHING);
        }
        return;
    }

    switch (step) {
    case STEP_CREATE:
        m_session = PathOf(results.value("session_handle"));
        QDBusConnection::sessionBus().connect(PORTAL_SERVICE, m_session, SESSION, "Closed", this,
                                              SLOT(OnSessionClosed(QVariantMap)));
        SelectSources();
        break;
    case STEP_SELECT:
        StartCast();
        break;
    case STEP_START:
        // a token is valid once: keep the newest
        if (results.contains("restore_token"))
            m_token = results.value("restore_token").toString().toStdString();
        ReadStreams(results.value("streams"));
        if (OpenPipeWireRemote() == 0)
            Finish(OUTCOME_STARTED, "", MISSING_NOTHING);
        break;
    case STEP_NONE:
        break;
    }
}

namespace {

// A stream property of two integers, (ii).
void ReadPair(const QVariantMap& props, const char* key, int* first, int* second) {
    if (!props.contains(key))
        return;
    const QDBusArgument pair = props.value(key).value<QDBusArgument>();
    pair.beginStructure();
    pair >> *first >> *second;
    pair.endStructure();
}

}  // namespace

void ScreenCastPortal::ReadStreams(const QVariant& streams) {
    // a(ua{sv}): the node and its properties; one source was asked for
    const QDBusArgument arg = streams.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        uint node = 0;
        QVariantMap props;
        arg.beginStructure();
        arg >> node >> props;
        arg.endStructure();
        if (m_nodeId != 0)
            continue;
        m_nodeId = node;
        ReadPair(props, "position", &m_streamX, &m_streamY);
        ReadPair(props, "size", &m_streamWidth, &m_streamHeight);
    }
    arg.endArray();
}

int ScreenCastPortal::OpenPipeWireRemote() {
    QDBusMessage call = PortalCall("OpenPipeWireRemote");
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap();
    QDBusReply<QDBusUnixFileDescriptor> reply = QDBusConnection::sessionBus().call(call);
    if (!reply.isValid() || !reply.value().isValid() || m_nodeId == 0) {
        OS_Log::Error("[ScreenCastPortal::OpenPipeWireRemote] Error: %s\n",
                      reply.isValid() ? "no stream" : reply.error().message().toUtf8().constData());
        Finish(OUTCOME_FAILED, NO_PIPEWIRE_TEXT, MISSING_PIPEWIRE);
        return -1;
    }
    // the reply's descriptor closes with it
    m_pipeWireFd = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    if (m_pipeWireFd < 0) {
        Finish(OUTCOME_FAILED, NO_PIPEWIRE_TEXT, MISSING_PIPEWIRE);
        return -1;
    }
    OS_Log::Info("screen-sharing portal started: PipeWire node %u, %dx%d\n", m_nodeId, m_streamWidth,
                 m_streamHeight);
    return 0;
}

void ScreenCastPortal::OnSessionClosed(const QVariantMap&) {
    OS_Log::Info("screen-sharing session closed by the desktop\n");
    m_closed = true;
    m_session.clear();
    if (m_outcome == OUTCOME_NONE) {
        Unsubscribe();
        Finish(OUTCOME_REFUSED, "The desktop ended screen sharing.", MISSING_NOTHING);
        return;
    }
    emit evtClosed();
}

void ScreenCastPortal::Finish(Outcome outcome, const std::string& error, Missing missing) {
    m_step = STEP_NONE;
    m_outcome = outcome;
    m_error = error;
    m_missing = missing;
    if (outcome != OUTCOME_STARTED)
        CloseSession();
    emit evtStarted(outcome);
}

void ScreenCastPortal::CloseSession() {
    if (m_session.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(PORTAL_SERVICE, m_session, SESSION, "Closed", this, SLOT(OnSessionClosed(QVariantMap)));
    bus.asyncCall(QDBusMessage::createMethodCall(PORTAL_SERVICE, m_session, SESSION, "Close"));
    m_session.clear();
}

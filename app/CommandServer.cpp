#include "app/CommandServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

#include "os/OS_Log.h"
#include "ui/CameraRecorder.h"
#include "ui/ScreenRecorder.h"

namespace {

// How long each side waits for the other, in ms: the running copy answers
// once the recording has started, which includes opening the devices.
const int CONNECT_WAIT_MS = 2000;
const int ANSWER_WAIT_MS = 60000;
const int COMMAND_WAIT_MS = 2000;
// A start may wait for the user (the screen-sharing dialog) or open its
// sound on the engine's worker; past this the answer is that it could not
// start (a stalled sound server, a message box nobody has closed).
const int START_WAIT_MS = 55000;

// The recorder window that is open, as either kind; null for none.
template <class Recorder>
Recorder* FindRecorder() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (Recorder* r = qobject_cast<Recorder*>(w))
            return r;
    return nullptr;
}

// Does what F3 (start) or F4 (stop) does on recorder; the answer line.
template <class Recorder>
QString Run(Recorder* recorder, const QString& command) {
    bool start = command == "start" || (command == "toggle" && !recorder->IsRecording());
    if (start) {
        if (recorder->IsRecording())
            return "0 vidloom: already recording";
        // a start may wait for the user (the screen-sharing dialog) or the
        // sound: its end comes through the event loop
        bool began = recorder->OnStartRecord() == 0;
        QElapsedTimer waited;
        waited.start();
        while (began && recorder->IsStarting() && waited.elapsed() < START_WAIT_MS)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (!began || !recorder->IsRecording())
            return "1 vidloom: the recording could not start";
        return "0 vidloom: recording started";
    }
    if (!recorder->IsRecording())
        return "0 vidloom: not recording";
    recorder->OnStopRecord();
    return "0 vidloom: recording stopped";
}

}  // namespace

CommandServer::CommandServer(QObject* parent) : QObject(parent), m_server(nullptr) {}

CommandServer::~CommandServer() { Close(); }

QString CommandServer::SocketPath(const char* key) {
    return QDir::tempPath() + "/" + QString::fromUtf8(key) + "." + QString::number(getuid()) + ".commands";
}

int CommandServer::Open(const char* key) {
    Close();
    QString path = SocketPath(key);
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        OS_Log::Error("cannot listen for commands on %s: %s\n", path.toUtf8().constData(),
                      m_server->errorString().toUtf8().constData());
        Close();
        return -1;
    }
    connect(m_server, &QLocalServer::newConnection, this, &CommandServer::OnConnection);
    return 0;
}

void CommandServer::Close() {
    delete m_server;
    m_server = nullptr;
}

void CommandServer::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // one short line, sent at once by the other end
        QString command;
        if (socket->canReadLine() || socket->waitForReadyRead(COMMAND_WAIT_MS))
            command = QString::fromUtf8(socket->readLine()).trimmed();
        QString answer = Execute(command);
        OS_Log::Info("command \"%s\": %s\n", command.toUtf8().constData(), answer.toUtf8().constData());
        socket->write((answer + "\n").toUtf8());
        socket->flush();
        socket->disconnectFromServer();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->state() == QLocalSocket::UnconnectedState)
            socket->deleteLater();
    }
}

QString CommandServer::Execute(const QString& command) {
    if (command != "start" && command != "stop" && command != "toggle")
        return "1 vidloom: unknown command \"" + command + "\"";
    if (ScreenRecorder* screen = FindRecorder<ScreenRecorder>())
        return Run(screen, command);
    if (CameraRecorder* camera = FindRecorder<CameraRecorder>())
        return Run(camera, command);
    return "1 vidloom: no recorder window is open (choose screen or camera recording first)";
}

int SendCommand(const char* key, const char* command) {
    QLocalSocket socket;
    socket.connectToServer(CommandServer::SocketPath(key));
    if (!socket.waitForConnected(CONNECT_WAIT_MS)) {
        fprintf(stderr, "vidloom: no running copy of vidloom to %s the recording\n", command);
        return 1;
    }
    socket.write((QString(command) + "\n").toUtf8());
    socket.flush();
    QString answer;
    while (!socket.canReadLine() && socket.waitForReadyRead(ANSWER_WAIT_MS)) {
    }
    answer = QString::fromUtf8(socket.readLine()).trimmed();
    if (answer.size() < 2) {
        fprintf(stderr, "vidloom: the running copy did not answer\n");
        return 1;
    }
    int status = answer.startsWith("0 ") ? 0 : 1;
    fprintf(status == 0 ? stdout : stderr, "%s\n", answer.mid(2).toUtf8().constData());
    return status;
}

#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The running copy's end of the commands that desktop shortcuts send
// (vidloom --start, --stop, --toggle): a local socket beside the
// single-instance guard. Each connection carries one command line
// ("start", "stop" or "toggle") and gets one answer line: "0 text" when it
// was done, "1 text" when it could not be.
//
// Lives on the UI thread, after the single-instance guard was taken.
class CommandServer : public QObject {
    Q_OBJECT

public:
    explicit CommandServer(QObject* parent = nullptr);
    ~CommandServer() override;

    // The socket's path for the guard's key, in the temporary folder (as
    // the guard's own files are).
    static QString SocketPath(const char* key);

    // Listens on the key's socket, clearing one left by a copy that died
    // (the caller owns the guard, so no live copy listens there). 0, or -1
    // (logged).
    int Open(const char* key);
    void Close();

private slots:
    void OnConnection();

private:
    // Runs one command on the recorder window that is open; the answer line.
    QString Execute(const QString& command);

    QLocalServer* m_server;
};

// The other end: sends command to the running copy and prints its answer.
// The process's exit status: 0 done, 1 not done or no copy running.
int SendCommand(const char* key, const char* command);

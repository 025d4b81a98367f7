#include "app/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdlib>

namespace {

bool Exists(const std::string& path) { return QFileInfo::exists(QFile::decodeName(path.c_str())); }

std::string Encode(const QString& path) { return QFile::encodeName(path).toStdString(); }

// $XDG_STATE_HOME, else ~/.local/state (Qt 5 has no name for it).
QString StateFolder() {
    QString state = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + "/.local/state";
    return state;
}

}  // namespace

AppPaths::AppPaths()
    : m_mode(MODE_PORTABLE), m_outputFolder("output/"), m_configPath("default.cfg"),
      m_logPath("vidloom.log.txt") {}

AppPaths& AppPaths::Global() {
    static AppPaths paths;
    return paths;
}

int AppPaths::Init(const std::string& exeFolder) {
    std::string shared = exeFolder + "../share/vidloom/";
    bool installed = exeFolder.size() > 5 && exeFolder.compare(exeFolder.size() - 5, 5, "/bin/") == 0 &&
                     !Exists(exeFolder + "default.skin") && Exists(shared + "default.skin");
    if (!installed) {
        m_mode = MODE_PORTABLE;
        m_dataFolder = exeFolder;
        m_outputFolder = exeFolder + "output/";
        m_configPath = exeFolder + "default.cfg";
        m_logPath = exeFolder + "vidloom.log.txt";
        return 0;
    }

    m_mode = MODE_INSTALLED;
    m_dataFolder = Encode(QDir::cleanPath(QFile::decodeName(shared.c_str()))) + "/";
    m_outputFolder =
        Encode(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + "/vidloom/");
    QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/vidloom";
    QString logFolder = StateFolder() + "/vidloom";
    m_configPath = Encode(configFolder + "/default.cfg");
    m_logPath = Encode(logFolder + "/vidloom.log.txt");

    int rc = 0;
    if (!QDir().mkpath(logFolder) || !QDir().mkpath(configFolder))
        rc = -1;
    // The user's own settings start as the installed defaults.
    QString config = QFile::decodeName(m_configPath.c_str());
    if (!QFileInfo::exists(config)) {
        if (!QFile::copy(QFile::decodeName(DataPath("default.cfg").c_str()), config))
            rc = -1;
        // The installed copy is read-only; the user's must not be.
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    return rc;
}

std::string AppPaths::OutputFolder() const {
    if (m_mode == MODE_INSTALLED)
        QDir().mkpath(QFile::decodeName(m_outputFolder.c_str()));
    return m_outputFolder;
}

std::string AppPaths::OutputPath(const std::string& name) const {
    size_t slash = name.rfind('/');
    return OutputFolder() + (slash == std::string::npos ? name : name.substr(slash + 1));
}

std::string AppPaths::DataPath(const std::string& name) const {
    return !name.empty() && name[0] == '/' ? name : m_dataFolder + name;
}

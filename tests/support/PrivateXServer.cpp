#include "tests/support/PrivateXServer.h"

bool PrivateXServer::Start(const std::string& geometry) {
    if (m_xvfb.Start({"-displayfd", "1", "-screen", "0", geometry, "-nolisten", "tcp", "-noreset", "+extension",
                      "MIT-SHM", "+extension", "XFIXES", "-ac"}, "Xvfb") != 0)
        return false;
    // Xvfb writes its display number once it accepts connections.
    std::string number = m_xvfb.ReadLine();
    if (number.empty())
        return false;
    m_display = ":" + number;
    return true;
}

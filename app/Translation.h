#pragma once

// The texts of the windows are written in Chinese. When the user's preferred
// languages (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) name Chinese before English,
// they stay; otherwise the built-in English translation is installed on the
// application. Called once by main after the QApplication is made. 0, or -1
// when the English translation could not be loaded (the texts stay Chinese).
int InstallTranslation();

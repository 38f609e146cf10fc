#pragma once

// Qt's own messages, through the app's log. Qt writes its warnings to standard error as they
// come, and many carry text from outside: an image reader quotes what it found in a crafted file,
// line breaks and terminal escapes included. Through the log they are one escaped line each (or a
// journal entry), under the category "qt".

namespace tarvo::desktop {

// Installs the message handler for the whole process; call once, first thing in main. Debug, info,
// warning, critical and fatal messages become entries of those levels (warnings as notices, fatal
// as faults, after which Qt ends the program as before).
void logQtMessages();

} // namespace tarvo::desktop

#ifndef SCRIPTFILE_H
#define SCRIPTFILE_H

#include <QString>

// Reading a script from a file, for every script backend alike.
namespace ScriptFile {

// The file's text as UTF-8, every line ending in a line feed; an empty text, false in ok and the
// debug line "File not found" when it cannot be read.
QString read(const QString &path, bool *ok = nullptr);

}

#endif

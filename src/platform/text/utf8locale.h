// UTF-8 file names through the C library: the process-wide locale set up
// once by each executable, and a per-thread switch for code that must read
// names as UTF-8 whatever the process-wide locale is.
#pragma once

#include <locale.h>

namespace morvik::platform {

// Makes the C library read and write file names as UTF-8, whatever locale the
// environment names, before anything touches a file name; keeps the
// environment's locale when it is UTF-8 already. Changes the environment
// too, because a Qt application sets the locale from it once more.
void useUtf8Locale();

// For the time of its life, this thread reads multibyte text in a UTF-8
// locale; the process-wide locale stays as it is. Without any UTF-8 locale on
// the system nothing changes: ASCII still works.
class Utf8NamesForThisThread {
public:
    Utf8NamesForThisThread();
    ~Utf8NamesForThisThread();
    Utf8NamesForThisThread(const Utf8NamesForThisThread&) = delete;
    Utf8NamesForThisThread& operator=(const Utf8NamesForThisThread&) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

} // namespace morvik::platform

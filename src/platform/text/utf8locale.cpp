// The UTF-8 locale, process-wide for the executables and per thread for the
// unzip layer.
#include "platform/text/utf8locale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <langinfo.h>

namespace morvik::platform {

namespace {

bool localeIsUtf8() {
    const char* codeset = ::nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

} // namespace

void useUtf8Locale() {
    std::setlocale(LC_ALL, "");
    if (localeIsUtf8()) {
        return;
    }
    // LC_ALL outranks LC_CTYPE, so it is the one to change when set.
    const char* all = std::getenv("LC_ALL");
    ::setenv(all != nullptr && *all != '\0' ? "LC_ALL" : "LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
}

// One UTF-8 locale object for the whole process, made on first use and kept:
// threads that switch to it at the same time share it, and none frees what
// another still uses.
static locale_t sharedUtf8Locale() {
    static const locale_t utf8 = [] {
        for (const char* name : {"C.UTF-8", "en_US.UTF-8"}) {
            const locale_t made =
                ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (made != static_cast<locale_t>(nullptr)) {
                return made;
            }
        }
        return static_cast<locale_t>(nullptr);
    }();
    return utf8;
}

Utf8NamesForThisThread::Utf8NamesForThisThread() {
    if (localeIsUtf8()) {
        return;
    }
    m_locale = sharedUtf8Locale();
    if (m_locale != static_cast<locale_t>(nullptr)) {
        m_previous = ::uselocale(m_locale);
    }
}

Utf8NamesForThisThread::~Utf8NamesForThisThread() {
    if (m_locale != static_cast<locale_t>(nullptr)) {
        ::uselocale(m_previous);
    }
}

} // namespace morvik::platform

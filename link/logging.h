#pragma once

#include <QDebug>

namespace varno {

constexpr const char *baseName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

} // namespace varno

// Every log line reads "file.cpp:123> message", with automatic spaces off and strings quoted.
#define VLOG qDebug().nospace() << varno::baseName(__FILE__) << ':' << __LINE__ << "> "

#pragma once

#include <QString>

// The user's own folder for what lives only while the program runs: the single-instance lock and
// the links of attached simulators. Nobody else may enter it, so nothing in it can be planted by
// another user. The platform's half is runtimefolder_<platform>.cpp.
class RuntimeFolder
{
public:
    // $XDG_RUNTIME_DIR when it is a folder of ours that nobody else may enter; without one, the
    // private folder "varno-runtime" under the cache location, created on first use. Empty when
    // neither is usable (the reason is logged). Never the shared temporary folder.
    static QString path();

    // True when path is a real folder (not a link) owned by this user that no one else may read,
    // write or enter; otherwise false with the reason in *why.
    static bool isPrivate(const QString &path, QString *why = nullptr);

    // Creates path (one level, owner-only) unless it exists, then checks it as isPrivate() does.
    static bool makePrivate(const QString &path, QString *why = nullptr);
};

#pragma once

#include <QString>

// What the notifier and varno-devsim --attach must agree on to meet: the folder an attached
// simulator announces itself in and the name of its link. Kept apart from the notifier so the
// simulator can use it without udev.
namespace varno {

// "Vid_27e9&Pid_b403": how a device name carries its USB ids.
QString allowedDevicePattern(quint16 vid, quint16 pid);

// Folder in the user's runtime folder where an attached device simulator leaves a symbolic link
// to its pty; empty without a runtime folder.
QString attachedDevicesDir();

// Name of the link a simulator running as processId creates in attachedDevicesDir():
// "devsim-<pid>-Vid_27e9&Pid_b403".
QString attachedDeviceLinkName(qint64 processId, quint16 vid = 0x27E9, quint16 pid = 0xB403);

// True when VARNO_SIMULATORS=1 asks the program and varnoctl to look for attached simulators.
bool simulatorsRequested();

} // namespace varno

#include "device/devicenotifier.h"

#include "link/logging.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <windows.h>

#include <dbt.h>
#include <setupapi.h>

// Windows discovery: the present ports of the Ports setup class through SetupAPI, a monitor being
// one whose hardware id carries the allowed USB ids, reported by its COM port ("\\.\COM5", what
// CreateFile opens). Hotplug comes as WM_DEVICECHANGE to a message-only window of our own (no
// QtGui in the core): any interface arrival or removal whose path carries an allowed id makes a
// new scan, and the difference to the last one is what arrived or left.
namespace {

// GUID_DEVCLASS_PORTS: the setup class of COM and LPT ports.
const GUID kPortsClass = { 0x4D36E978, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };
const wchar_t kWindowClass[] = L"VarnoDeviceNotifier";
constexpr qint64 kMaxAnnouncementBytes = 64;

QString portNameOf(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    const HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return QString();
    wchar_t value[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(wchar_t);
    const LONG rc = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return QString();
    return QString::fromWCharArray(value);
}

QStringList hardwareIdsOf(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    if (size == 0)
        return QStringList();
    QByteArray buffer(int(size) + 2 * int(sizeof(wchar_t)), '\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, &type,
                                           reinterpret_cast<BYTE *>(buffer.data()), size, nullptr)
        || type != REG_MULTI_SZ)
        return QStringList();
    // REG_MULTI_SZ: strings each ended by a NUL, the list by one more.
    const QString all = QString::fromWCharArray(reinterpret_cast<const wchar_t *>(buffer.constData()),
                                                int(size / sizeof(wchar_t)));
    return all.split(QChar(0), Qt::SkipEmptyParts);
}

bool isComName(const QString &name)
{
    static const QRegularExpression com(QStringLiteral("^COM[1-9][0-9]{0,2}$"),
                                        QRegularExpression::CaseInsensitiveOption);
    return com.match(name).hasMatch();
}

QString portPath(const QString &comName)
{
    return QStringLiteral("\\\\.\\") + comName.toUpper();
}

} // namespace

struct DeviceNotifier::Platform
{
    HWND window = nullptr;
    HDEVNOTIFY notification = nullptr;
    // The monitors of the last scan, so a broadcast can tell what came and what went.
    QSet<QString> present;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void rescan(DeviceNotifier *notifier);
};

LRESULT CALLBACK DeviceNotifier::Platform::windowProc(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam)
{
    if (message != WM_DEVICECHANGE)
        return DefWindowProcW(window, message, wParam, lParam);
    auto *notifier = reinterpret_cast<DeviceNotifier *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const UINT event = UINT(wParam & 0xFFFF);
    VLOG << "WM_DEVICECHANGE WParam " << Qt::hex << event << " LParam " << quintptr(lParam);
    if (!notifier || (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE))
        return TRUE;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return TRUE;
    const auto *broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header);
    const QString path = QString::fromWCharArray(broadcast->dbcc_name);
    if (notifier->isAllowed(path))
        notifier->m_platform->rescan(notifier);
    return TRUE;
}

void DeviceNotifier::Platform::rescan(DeviceNotifier *notifier)
{
    const QStringList now = notifier->enumeratePlatform();
    const QSet<QString> nowSet(now.cbegin(), now.cend());
    QStringList gone = (present - nowSet).values();
    QStringList added = (nowSet - present).values();
    present = nowSet;
    gone.sort();
    added.sort();
    for (const QString &name : qAsConst(gone))
        notifier->reportRemoval(name);
    for (const QString &name : qAsConst(added))
        notifier->scheduleArrival(name);
}

DeviceNotifier::DeviceNotifier(QObject *parent)
    : QObject(parent)
    , m_platform(std::make_unique<Platform>())
{
}

DeviceNotifier::~DeviceNotifier()
{
    stopNotify();
}

void DeviceNotifier::startPlatform()
{
    Platform &p = *m_platform;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Platform::windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    // A second notifier finds the class registered already.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        VLOG << "Couldn't register for device listening: " << GetLastError();
        return;
    }
    // Qt's event loop dispatches this thread's messages, so the window needs no loop of its own.
    p.window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               instance, nullptr);
    if (!p.window) {
        VLOG << "Couldn't register for device listening: " << GetLastError();
        return;
    }
    SetWindowLongPtrW(p.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Every interface class: a USB serial driver need not register the COM port interface, but its
    // USB device interface carries the ids all the same.
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    p.notification = RegisterDeviceNotificationW(
        p.window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    if (!p.notification)
        VLOG << "Couldn't register for device listening: " << GetLastError();
    const QStringList now = enumeratePlatform();
    p.present = QSet<QString>(now.cbegin(), now.cend());
}

void DeviceNotifier::stopPlatform()
{
    Platform &p = *m_platform;
    if (p.notification && !UnregisterDeviceNotification(p.notification))
        VLOG << "Unregister of device listener failed";
    p.notification = nullptr;
    if (p.window)
        DestroyWindow(p.window);
    p.window = nullptr;
    p.present.clear();
}

QStringList DeviceNotifier::enumeratePlatform()
{
    QStringList found;
    const HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return found;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        if (!varno::isAllowedHardwareId(hardwareIdsOf(set, &device), m_allowed))
            continue;
        const QString com = portNameOf(set, &device);
        if (isComName(com))
            found.append(portPath(com));
        else
            VLOG << "Skipping a monitor without a COM port name: " << com;
    }
    SetupDiDestroyDeviceInfoList(set);
    found.sort();
    return found;
}

QString DeviceNotifier::attachedEntryProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("leads nowhere");
    if (info.isSymLink() || !info.isFile())
        return QStringLiteral("not a plain file");
    if (info.size() > kMaxAnnouncementBytes)
        return QStringLiteral("%1 bytes, too long to name a port").arg(info.size());
    if (attachedEntryName(path).isEmpty())
        return QStringLiteral("names no COM port");
    return QString();
}

QString DeviceNotifier::attachedEntryName(const QString &path)
{
    // The announcement holds one line, the port: "COM5".
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString com = QString::fromLatin1(file.read(kMaxAnnouncementBytes)).trimmed();
    return isComName(com) ? portPath(com) : QString();
}

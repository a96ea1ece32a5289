#include "VirtualFileSystems.h"

#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace vistrel {

namespace {

// Not in <linux/magic.h>; the kernel defines them in the file systems' own sources.
constexpr std::uint32_t kConfigFsMagic = 0x62656570;
constexpr std::uint32_t kFuseCtlMagic = 0x65735543;
constexpr std::uint32_t kMqueueMagic = 0x19800202;

// The kernel's views of itself: processes, devices, control groups, tracing and the like.
constexpr std::array<std::uint32_t, 21> kVirtualTypes = {
    PROC_SUPER_MAGIC,      SYSFS_MAGIC,    DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC,
    CGROUP2_SUPER_MAGIC,   DEBUGFS_MAGIC,  TRACEFS_MAGIC,      SECURITYFS_MAGIC,
    kConfigFsMagic,        PSTOREFS_MAGIC, BPF_FS_MAGIC,       EFIVARFS_MAGIC,
    kFuseCtlMagic,         kMqueueMagic,   HUGETLBFS_MAGIC,    SELINUX_MAGIC,
    SMACK_MAGIC,           BINFMTFS_MAGIC, NSFS_MAGIC,         RDTGROUP_SUPER_MAGIC,
    USBDEVICE_SUPER_MAGIC,
};

// The devices of the devtmpfs mounts in /proc/self/mountinfo, whose lines read
// "id parent major:minor root mount-point options [optional fields] - type source options".
std::vector<dev_t> ReadDeviceFileSystems() {
    std::vector<dev_t> devices;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, field;
        fields >> id >> parent >> device;
        while (fields >> field && field != "-") {
        }
        std::string type;
        fields >> type;
        std::istringstream numbers(device);
        unsigned int major = 0;
        unsigned int minor = 0;
        char colon = 0;
        if (type == "devtmpfs" && numbers >> major >> colon >> minor && colon == ':') {
            devices.push_back(makedev(major, minor));
        }
    }
    return devices;
}

}  // namespace

VirtualFileSystems::VirtualFileSystems() : deviceFileSystems(ReadDeviceFileSystems()) {}

bool VirtualFileSystems::Holds(int folder, dev_t device) const {
    struct statfs info {};
    if (fstatfs(folder, &info) == 0 &&
        std::find(kVirtualTypes.begin(), kVirtualTypes.end(),
                  static_cast<std::uint32_t>(info.f_type)) != kVirtualTypes.end()) {
        return true;
    }
    return std::find(deviceFileSystems.begin(), deviceFileSystems.end(), device) !=
           deviceFileSystems.end();
}

}  // namespace vistrel

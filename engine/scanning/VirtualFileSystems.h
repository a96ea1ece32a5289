#pragma once

#include <sys/types.h>

#include <vector>

namespace vistrel {

/// Tells folders on the kernel's virtual file systems (/proc, /sys, /dev and the like) from
/// folders that can hold a user's files. Those hold no pictures, and their links lead back into
/// the whole machine (/proc/self/root is "/"), so a scan never enters them. tmpfs is not one of
/// them: users keep files there. Made once per scan; immutable, any thread.
class VirtualFileSystems {
public:
    /// Reads the mount table for the devtmpfs mounts, which statfs reports as plain tmpfs.
    VirtualFileSystems();

    /// True when the open folder `folder`, whose files lie on `device`, belongs to a virtual
    /// file system.
    bool Holds(int folder, dev_t device) const;

private:
    std::vector<dev_t> deviceFileSystems;
};

}  // namespace vistrel

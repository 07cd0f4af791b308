#pragma once
// Reading sysfs attributes and device folders, under roots that tests can point elsewhere.
#include <cstddef>
#include <string>

namespace korvan {

// A folder named by an environment variable, or the fallback when it is unset or empty.
// Tests point DUOMAT_SYSFS_ROOT and DUOMAT_DEV_DIR at trees of their own.
std::string EnvDir(const char* variable, const char* fallback);
std::string SysfsRoot();  // $DUOMAT_SYSFS_ROOT, else /sys
std::string DevDir();     // $DUOMAT_DEV_DIR, else /dev

// At most `limit` bytes of a regular file, read without blocking; empty for anything
// else (a FIFO, a device, a folder, a missing file), so a planted /dev/zero or FIFO
// cannot hang or exhaust a reader.
std::string ReadSysfsFile(const std::string& path, std::size_t limit = 4096);

// A sysfs attribute: the file's first line without trailing blanks and carriage return.
std::string ReadSysfsAttribute(const std::string& path);

}  // namespace korvan

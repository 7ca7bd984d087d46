#include "FileSize.h"

#include "File.h"

namespace FileSize {

std::int64_t FileSize2(const std::string& path) {
    const auto file = tessaly::File::openRead(path);
    if (!file) return 0;
    const auto status = file->status();
    return status ? status->size : 0;
}

} // namespace FileSize

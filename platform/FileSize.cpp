#include "FileSize.h"

namespace FileSize {

tessaly::Expected<std::int64_t> sizeOf(const std::string& path) {
    const auto file = tessaly::File::openRead(path);
    if (!file) return file.error();
    const auto status = file->status();
    if (!status) return status.error();
    return status->size;
}

std::int64_t FileSize2(const std::string& path) {
    const auto size = sizeOf(path);
    return size ? *size : 0;
}

} // namespace FileSize

#include "FileSize.h"

#include "File.h"

namespace FileSize {

std::int64_t FileSize2(const std::string& path) {
    std::error_code ec;
    const tessaly::File file = tessaly::File::openRead(path, ec);
    if (ec) return 0;
    const std::int64_t size = file.size(ec);
    return ec ? 0 : size;
}

} // namespace FileSize

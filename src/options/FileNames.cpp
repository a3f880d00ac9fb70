#include "options/FileNames.h"

std::size_t fileNameStart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string fileNamePart(const std::string& path)
{
    return path.substr(fileNameStart(path));
}

std::string withExtension(const std::string& path, const std::string& extension)
{
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot > fileNameStart(path))
        return path.substr(0, dot) + extension;
    return path + extension;
}

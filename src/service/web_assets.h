// The page's files, embedded in the program at build time from
// src/service/web.
#pragma once

#include <string_view>
#include <vector>

namespace kedo {

struct WebAsset {
    const char* path;  // "/index.html", "/app.js", ...
    const char* mime;
    std::string_view content;
};

const std::vector<WebAsset>& webAssets();

}  // namespace kedo

#pragma once
// placeholder until the picture store lands
#include <string>
#include "core/bytes.h"
namespace bridge {
struct SpotPic { std::string extension; core::Bytes bytes; bool ok = false; };
SpotPic fetch_spot_picture(int n, const std::string& origin);
std::string store_spot_picture(int n, const std::string& origin, const SpotPic& pic);
std::string spot_picture_url(int n, const std::string& origin);
void set_picture_folders(const std::string& web_dir, const std::string& data_dir);
std::string spots_folder();
}

#include "bridge/pictures.h"
namespace bridge {
SpotPic fetch_spot_picture(int, const std::string&) { return {}; }
std::string store_spot_picture(int, const std::string&, const SpotPic&) { return ""; }
std::string spot_picture_url(int, const std::string&) { return ""; }
void set_picture_folders(const std::string&, const std::string&) {}
std::string spots_folder() { return ""; }
}

#include "setup/table.h"

namespace setup {

namespace {

// The web files are those the room build writes into bin/QuenvaleWeb; a test compares
// this list with that folder so the two cannot drift apart.
#ifdef _WIN32
// The program, the three libraries it loads (z.dll under the name libcurl.dll imports)
// and the same web files, each with the resource id that carries it. boot.js came after
// the ids were laid out, so it takes the next free one instead of shifting the others.
constexpr InstallFile FILES[] = {
    {"Quenvale.exe", "bin/Quenvale.exe", true, 201},
    {"libcrypto-3-x64.dll", "bin/libcrypto-3-x64.dll", false, 203},
    {"libcurl.dll", "bin/libcurl.dll", false, 204},
    {"z.dll", "bin/z.dll", false, 205},
    {"QuenvaleWeb/index.html", "bin/QuenvaleWeb/index.html", false, 220},
    {"QuenvaleWeb/boot.js", "bin/QuenvaleWeb/boot.js", false, 239},
    {"QuenvaleWeb/room.js", "bin/QuenvaleWeb/room.js", false, 221},
    {"QuenvaleWeb/three.module.js", "bin/QuenvaleWeb/three.module.js", false, 222},
    {"QuenvaleWeb/three.core.js", "bin/QuenvaleWeb/three.core.js", false, 223},
    {"QuenvaleWeb/frame.glb", "bin/QuenvaleWeb/frame.glb", false, 224},
    {"QuenvaleWeb/frame-1.glb", "bin/QuenvaleWeb/frame-1.glb", false, 225},
    {"QuenvaleWeb/frame-2.glb", "bin/QuenvaleWeb/frame-2.glb", false, 226},
    {"QuenvaleWeb/frame-3.glb", "bin/QuenvaleWeb/frame-3.glb", false, 227},
    {"QuenvaleWeb/frame-4.glb", "bin/QuenvaleWeb/frame-4.glb", false, 228},
    {"QuenvaleWeb/frame-5.glb", "bin/QuenvaleWeb/frame-5.glb", false, 229},
    {"QuenvaleWeb/alcove-b.glb", "bin/QuenvaleWeb/alcove-b.glb", false, 230},
    {"QuenvaleWeb/alcove-dragon.glb", "bin/QuenvaleWeb/alcove-dragon.glb", false, 231},
    {"QuenvaleWeb/alcove-flower.glb", "bin/QuenvaleWeb/alcove-flower.glb", false, 232},
    {"QuenvaleWeb/alcove-tree.glb", "bin/QuenvaleWeb/alcove-tree.glb", false, 233},
    {"QuenvaleWeb/poster-book.png", "bin/QuenvaleWeb/poster-book.png", false, 234},
    {"QuenvaleWeb/poster-dragon.jpg", "bin/QuenvaleWeb/poster-dragon.jpg", false, 235},
    {"QuenvaleWeb/loaders/GLTFLoader.js", "bin/QuenvaleWeb/loaders/GLTFLoader.js", false, 236},
    {"QuenvaleWeb/utils/BufferGeometryUtils.js", "bin/QuenvaleWeb/utils/BufferGeometryUtils.js", false, 237},
    {"QuenvaleWeb/utils/SkeletonUtils.js", "bin/QuenvaleWeb/utils/SkeletonUtils.js", false, 238},
};
#else
constexpr InstallFile FILES[] = {
    {"quenvale", "setup/stripped/quenvale", true},
    {"wendrel", "setup/stripped/wendrel", true},
    {"QuenvaleWeb/index.html", "bin/QuenvaleWeb/index.html", false},
    {"QuenvaleWeb/boot.js", "bin/QuenvaleWeb/boot.js", false},
    {"QuenvaleWeb/room.js", "bin/QuenvaleWeb/room.js", false},
    {"QuenvaleWeb/three.module.js", "bin/QuenvaleWeb/three.module.js", false},
    {"QuenvaleWeb/three.core.js", "bin/QuenvaleWeb/three.core.js", false},
    {"QuenvaleWeb/frame.glb", "bin/QuenvaleWeb/frame.glb", false},
    {"QuenvaleWeb/frame-1.glb", "bin/QuenvaleWeb/frame-1.glb", false},
    {"QuenvaleWeb/frame-2.glb", "bin/QuenvaleWeb/frame-2.glb", false},
    {"QuenvaleWeb/frame-3.glb", "bin/QuenvaleWeb/frame-3.glb", false},
    {"QuenvaleWeb/frame-4.glb", "bin/QuenvaleWeb/frame-4.glb", false},
    {"QuenvaleWeb/frame-5.glb", "bin/QuenvaleWeb/frame-5.glb", false},
    {"QuenvaleWeb/alcove-b.glb", "bin/QuenvaleWeb/alcove-b.glb", false},
    {"QuenvaleWeb/alcove-dragon.glb", "bin/QuenvaleWeb/alcove-dragon.glb", false},
    {"QuenvaleWeb/alcove-flower.glb", "bin/QuenvaleWeb/alcove-flower.glb", false},
    {"QuenvaleWeb/alcove-tree.glb", "bin/QuenvaleWeb/alcove-tree.glb", false},
    {"QuenvaleWeb/poster-book.png", "bin/QuenvaleWeb/poster-book.png", false},
    {"QuenvaleWeb/poster-dragon.jpg", "bin/QuenvaleWeb/poster-dragon.jpg", false},
    {"QuenvaleWeb/loaders/GLTFLoader.js", "bin/QuenvaleWeb/loaders/GLTFLoader.js", false},
    {"QuenvaleWeb/utils/BufferGeometryUtils.js", "bin/QuenvaleWeb/utils/BufferGeometryUtils.js", false},
    {"QuenvaleWeb/utils/SkeletonUtils.js", "bin/QuenvaleWeb/utils/SkeletonUtils.js", false},
    {"quenvale.png", "share/icons/hicolor/128x128/apps/quenvale.png", false},
    {"quenvale.desktop", "share/applications/quenvale.desktop", false},
};
#endif

}  // namespace

std::span<const InstallFile> install_files() { return FILES; }

}  // namespace setup

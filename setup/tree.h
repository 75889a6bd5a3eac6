#pragma once
// Removing files and folders without ever following a symbolic link below the folder
// named: a link is removed as a link, and the files it points at are never touched.
#include <string>

namespace setup {

// Deepest folder level delete_tree descends to; anything deeper stays.
inline constexpr int MAX_TREE_DEPTH = 32;

// Removes path and, when it is a real folder, everything inside it. A link at path or
// anywhere inside is unlinked, never entered. Folders inside that deny writing are made
// writable for their owner first (they are inside the tree, reached without links).
// Errors are ignored: what cannot be removed stays.
void delete_tree(const std::string& path);

// Removes the file folder + "/" + relative, walking the folders of relative without
// following links (a linked folder on the way leaves the file alone). True when removed.
bool remove_below(const std::string& folder, const std::string& relative);
// Removes the empty folder folder + "/" + relative, reached the same way.
bool remove_empty_folder_below(const std::string& folder, const std::string& relative);

}  // namespace setup

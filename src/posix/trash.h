// The recycle bin of a free desktop: the freedesktop.org home trash
// ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash). A trashed item
// is moved to Trash/files under a name not yet used there and described by
// Trash/info/<name>.trashinfo, so that the desktop's file manager can list and restore
// it.
#pragma once

#include <string>

namespace qm {

// The home trash folder: $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path,
// else $HOME/.local/share/Trash; "" when neither can be named.
std::string HomeTrashFolder();

// Moves the file or folder `path` (UTF-8, absolute or relative to the working folder)
// with everything in it to the home trash. On the trash's own device it is renamed;
// elsewhere it is copied and the original removed. Refuses the file-system root, a
// path that does not exist, and the trash itself or any folder that holds it. 0 on
// success, else an errno value; a failure leaves the item where it was (a failed
// removal after a complete copy leaves the copy in the trash as well).
// `trashed_name` receives the name the item got in Trash/files.
int MoveToTrash(const std::string& path, std::string* trashed_name = nullptr);

// The Path value of a .trashinfo file: the absolute path with every byte other than
// letters, digits, "-", ".", "_", "~" and "/" written as %XX.
std::string TrashInfoEscape(const std::string& absolute_path);

}  // namespace qm

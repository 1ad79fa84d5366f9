// The access lists of the folders every user of the machine shares (the
// log's) on Windows: the one a new folder gets, and the test that tells an
// older folder's list lets other users take over what is in it.
#pragma once

#include <windows.h>

namespace zorvane {

// Every user may list the folder, pass through it, add files and folders,
// and read the files; what is made in it belongs to its creator alone (with
// the system and the administrators), so that no user may delete, rewrite or
// take over another's file, nor change the folder's list. Not inherited.
extern const wchar_t kSharedFolderAccess[];

// Whether dacl lets the groups of all users (Everyone, Users, Authenticated
// Users) do more in a folder, or in what is made in it, than the list above
// does; a missing list lets everyone do everything.
bool GivesOthersTooMuch(const ACL* dacl);

}  // namespace zorvane

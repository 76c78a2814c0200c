// The substitute's groups on disk: one text file per group in one folder,
// named group<number>.txt in the order the groups were made.
#pragma once

#include <string>

#include "group_model.h"
#include "targets/progman_commands.h"

namespace movix {

class GroupStore {
  public:
    explicit GroupStore(std::string folder);

    const std::string& Folder() const { return folder_; }

    // Creates the folder when needed and reads every group file in number
    // order. A file that cannot be read, is malformed or names a group that
    // is already there is left alone (and its number is never reused).
    // False when the folder cannot be made.
    bool Load(ProgManGroupSet& groups);

    // Removes the files of deleted groups and writes every changed group,
    // each through a temporary file that then replaces the old one. A group
    // that cannot be written stays marked and is tried again next time.
    // False when anything failed.
    bool Save(ProgManGroupSet& groups);

  private:
    bool WriteGroup(ProgManGroup& group);
    std::string NewFileName();

    std::string folder_;
    unsigned nextNumber_ = 1;
};

}  // namespace movix

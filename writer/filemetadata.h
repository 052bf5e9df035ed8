// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Makes a new file, open at `handle`, take the place of the earlier file at `earlierPath` with
// nothing of who may do what lost or added: its owner and group where the process may (root
// may give both, a member of the file's group at least the group), then its extended
// attributes (the access ACL among them) exactly, then its exact mode, setuid, setgid and
// sticky bits included. Call it once everything is written: a write clears setuid, setgid and
// file capabilities.
//
// Returns why the new file could not be made to match, or an empty string. A setuid or setgid
// file whose owner or group cannot be kept does not match: the bit would work for another
// user.
QString takeOverMetadata(int handle, const QString &earlierPath);

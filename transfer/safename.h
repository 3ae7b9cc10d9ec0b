#pragma once

class QString;

// Received names are untrusted: only relative paths of plain parts ("a/b.txt", never "/a",
// "../a", "a//b" or "a/./b") may be written below a transfer folder. Offers and the records of
// earlier sessions follow the same rule.
bool isSafeName(const QString &name);

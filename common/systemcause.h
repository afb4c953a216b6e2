#pragma once

// The system's reasons for a failed file operation in the operator's words,
// and whether a folder can take new files now.

#include <QString>

namespace morvanta {

// The cause behind an errno value in Chinese words ("磁盘空间不足", "没有权限",
// "文件或文件夹不存在", "文件系统为只读", "打开的文件过多", ...). A value without
// words of ours gives "系统错误" with the system's own text in brackets.
QString systemCause(int err);

// The cause behind errno as it is now: call it right after the failing call.
QString lastSystemCause();

// The cause behind a Qt file error text (QFileDevice::errorString(), which
// holds the system's own sentence for errno) in the same Chinese words; a
// text that names no system cause of ours comes back in brackets after
// "原因不明".
QString fileErrorCause(const QString& qtErrorText);

// Why no file of `neededBytes` can be written into the folder `dir` now, as an
// errno value: ENOENT when it is gone or no folder, EROFS on a read-only file
// system, EACCES when the user may not write there, ENOSPC when less than
// `neededBytes` (or no new file entry) is free. 0 when nothing stands in the
// way. Asks the file system only; opens and writes nothing.
int folderWriteProblem(const QString& dir, qint64 neededBytes);

// The sentence for a save that failed because its folder cannot take files:
// "保存失败：“<dir>”所在磁盘空间不足。" and the like for `err` as above.
QString folderFailureText(const QString& dir, int err);

} // namespace morvanta

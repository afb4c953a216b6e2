#pragma once

#include <QString>

// The certificate number becomes part of a document's file name. A name that
// would leave the output folder or that a Windows or Linux file system refuses
// must never reach the save.

// Longest file name (one path component) that Linux file systems accept, in
// bytes of its UTF-8 form.
inline constexpr int maxFileNameBytes = 255;

// Why `fileName` cannot name a file inside a folder, as a Chinese clause for
// the operator; empty when it can.
QString fileNameProblem(const QString& fileName);

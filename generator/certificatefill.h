#pragma once

#include "common/paths.h"
#include "generator/certificaterecord.h"

#include <cstdint>

class RunView;
namespace office {
class Engine;
}

// Fills the template of one kind with a record and saves the document as
// <output folder><certificate number>（正本）.doc or （副本）.doc.
// Returns -2 when the template is missing ("未找到该文件" was shown), -1 after a
// failure (its "number:description" was shown; nothing is written), otherwise
// the number of replacements of the last placeholder "举办单位".
// An output folder that cannot take the document (gone, not writable, or
// with too little free space, checked before the office is asked to save) is
// no failure of this certificate: morvanta::Error with
// errc::OutputFolderFailed is thrown, after the session is closed, and
// nothing is shown.
std::int16_t fillCertificate(office::Engine& engine, RunView& view, const CertificateRecord& record,
                             paths::TemplateKind kind, bool& MatchCase);

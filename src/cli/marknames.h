#pragma once

#include <QString>

namespace velmora::cli {

// The name of a status mark as the code names it ("MarkCopied"), by which the
// command line reports outcomes; "Mark<number>" for a number without a name.
QString markName(int mark);

// True for the marks that mean a batch's success: copied, good version,
// reachable. Every other outcome of a row counts as failed.
bool isSuccessName(const QString& name);

} // namespace velmora::cli

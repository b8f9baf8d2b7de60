#pragma once

#include "batch/rowreport.h"

#include <QString>

namespace velmora::app {

// The line that tells, once the last worker of a batch has ended, how the
// batch went: its rows by outcome and its wall time, such as
// "Kraj kopiranja: kopirano 18, neuspešno 2 od 20 servera, trajanje
// 0h 1min 23.456sec 2009.11.05 14:05:00". Aborted and unfinished rows are
// named only where there are some.
QString batchSummaryLine(const batch::BatchSummary& summary);

} // namespace velmora::app

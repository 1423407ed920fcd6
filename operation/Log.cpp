// The drop library's log categories, and the engine's log routed into them.
#include "operation/Log.h"

#include "engine/Log.h"

#include <QString>

namespace qb {

Q_LOGGING_CATEGORY(lcDrop, "quillbeck.drop", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEngine, "quillbeck.engine", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "quillbeck.history", QtWarningMsg)

namespace {

void toEngineCategory(std::string_view line) {
    qCInfo(lcEngine).noquote() << QString::fromLocal8Bit(line.data(),
                                                         static_cast<qsizetype>(line.size()));
}

} // namespace

void routeEngineLog() {
    setEngineLogSink(lcEngine().isInfoEnabled() ? &toEngineCategory : nullptr);
}

} // namespace qb

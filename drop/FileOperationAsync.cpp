// The asynchronous start of a file operation, over the blocking one for now.
#include "drop/FileOperation.h"

#include <QFile>
#include <QTimer>

namespace qb {

void startFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                        const QByteArray& destFolder, OperationDone done) {
    const Outcome outcome = runFileOperation(owner, op, policy, QFile::decodeName(source),
                                             QFile::decodeName(destFolder));
    QTimer::singleShot(0, [done = std::move(done), outcome] { done(outcome); });
}

} // namespace qb

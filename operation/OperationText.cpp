// The sentences the user reads for the engine's errors.
#include "operation/OperationText.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>

namespace qb {

namespace {

QString reason(int code) {
    char buf[256];
    // GNU strerror_r: returns a pointer, maybe to a static string.
    return QString::fromLocal8Bit(strerror_r(code, buf, sizeof buf));
}

QString quoted(const std::string& path) {
    return u'“' + QFile::decodeName(QByteArray::fromStdString(path)) + u'”';
}

// The sentences that name the operation come whole for each, so that a
// translation can inflect its verb.
QString verbErrorText(bool copy, const OpError& e, const QString& p, const QString& o,
                      const QString& why) {
    switch (e.kind) {
    case ErrorKind::NotAnItem:
        return (copy ? QCoreApplication::translate("qb::OperationText",
                                                   "无法复制%1：它不是可以复制的项目。")
                     : QCoreApplication::translate("qb::OperationText",
                                                   "无法移动%1：它不是可以移动的项目。"))
            .arg(p);
    case ErrorKind::IntoItself:
        return (copy ? QCoreApplication::translate("qb::OperationText",
                                                   "不能把文件夹%1复制到它自身或它的子文件夹%2中。")
                     : QCoreApplication::translate(
                           "qb::OperationText", "不能把文件夹%1移动到它自身或它的子文件夹%2中。"))
            .arg(p, o);
    case ErrorKind::ContainsItem:
        return (copy ? QCoreApplication::translate(
                           "qb::OperationText",
                           "不能把%1复制到这里：目标中同名的文件夹%2包含它自身。")
                     : QCoreApplication::translate(
                           "qb::OperationText",
                           "不能把%1移动到这里：目标中同名的文件夹%2包含它自身。"))
            .arg(p, o);
    case ErrorKind::Transfer:
        return (copy ? QCoreApplication::translate("qb::OperationText", "无法将%1复制到%2：%3")
                     : QCoreApplication::translate("qb::OperationText", "无法将%1移动到%2：%3"))
            .arg(p, o, why);
    case ErrorKind::Unsupported:
        return (copy ? QCoreApplication::translate("qb::OperationText",
                                                   "无法复制%1：不支持这种类型的文件。")
                     : QCoreApplication::translate("qb::OperationText",
                                                   "无法移动%1：不支持这种类型的文件。"))
            .arg(p);
    case ErrorKind::Changed:
        return (copy ? QCoreApplication::translate("qb::OperationText",
                                                   "无法复制%1：它在复制时被换成了别的文件。")
                     : QCoreApplication::translate("qb::OperationText",
                                                   "无法移动%1：它在移动时被换成了别的文件。"))
            .arg(p);
    default: // Examine, and any kind without a sentence of its own
        return (copy ? QCoreApplication::translate("qb::OperationText", "无法复制%1：%2")
                     : QCoreApplication::translate("qb::OperationText", "无法移动%1：%2"))
            .arg(p, why);
    }
}

} // namespace

QString operationErrorText(Op op, const OpError& e) {
    const QString p = quoted(e.path), o = quoted(e.other), why = reason(e.code);
    switch (e.kind) {
    case ErrorKind::DestNotFolder:
        return QCoreApplication::translate("qb::OperationText", "目标%1不是可用的文件夹：%2")
            .arg(p, why);
    case ErrorKind::SourceMissing:
        return QCoreApplication::translate("qb::OperationText", "找不到%1：%2").arg(p, why);
    case ErrorKind::ReplaceItself:
        return QCoreApplication::translate("qb::OperationText",
                                           "不能用%1替换它自身：源和目标是同一个项目。")
            .arg(p);
    case ErrorKind::LinkToReplaced:
        return QCoreApplication::translate(
                   "qb::OperationText",
                   "不能用链接%1替换%2：链接指向的正是这个文件，替换会毁掉它。")
            .arg(p, o);
    case ErrorKind::FolderOverFile:
        return QCoreApplication::translate("qb::OperationText",
                                           "%1是一个文件，不能用同名文件夹%2替换它。")
            .arg(o, p);
    case ErrorKind::FileOverFolder:
        return QCoreApplication::translate("qb::OperationText",
                                           "%1是一个文件夹，不能用同名文件%2替换它。")
            .arg(o, p);
    case ErrorKind::ReadFolder:
        return QCoreApplication::translate("qb::OperationText", "无法读取文件夹%1：%2").arg(p, why);
    case ErrorKind::CreateFolder:
        return QCoreApplication::translate("qb::OperationText", "无法创建文件夹%1：%2").arg(p, why);
    case ErrorKind::OpenFolder:
        return QCoreApplication::translate("qb::OperationText", "无法打开文件夹%1：%2").arg(p, why);
    case ErrorKind::Remove:
        return QCoreApplication::translate("qb::OperationText", "无法删除%1：%2").arg(p, why);
    case ErrorKind::SourceChanged:
        return QCoreApplication::translate("qb::OperationText", "源文件在移动时被修改，已保留") +
               u'：' + p;
    case ErrorKind::NotReplaced:
        return QCoreApplication::translate("qb::OperationText",
                                           "没有替换%1：回收站无法接收它（%2），它留在原处。")
            .arg(p, why);
    case ErrorKind::RemoveFolder:
        return QCoreApplication::translate("qb::OperationText", "无法删除文件夹%1：%2").arg(p, why);
    case ErrorKind::VerifyFailed:
        return (op == Op::Copy
                    ? QCoreApplication::translate(
                          "qb::OperationText",
                          "校验失败：从磁盘读回的%1与源文件%2不一致，已删除这份副本。")
                    : QCoreApplication::translate(
                          "qb::OperationText",
                          "校验失败：从磁盘读回的%1与源文件%2不一致，已删除这份副本，源文件保留。"))
            .arg(o, p);
    default:
        return verbErrorText(op == Op::Copy, e, p, o, why);
    }
}

} // namespace qb

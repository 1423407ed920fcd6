// The sentences of the file operation's errors.
#include "drop/FileOperation.h"

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

} // namespace

QString operationErrorText(Op op, const OpError& e) {
    const QString verb = op == Op::Copy ? QStringLiteral("复制") : QStringLiteral("移动");
    const QString p = quoted(e.path), o = quoted(e.other), why = reason(e.code);
    switch (e.kind) {
    case ErrorKind::NotAnItem:
        return QStringLiteral("无法%1%2：它不是可以%1的项目。").arg(verb, p);
    case ErrorKind::DestNotFolder:
        return QStringLiteral("目标%1不是可用的文件夹：%2").arg(p, why);
    case ErrorKind::SourceMissing:
        return QStringLiteral("找不到%1：%2").arg(p, why);
    case ErrorKind::IntoItself:
        return QStringLiteral("不能把文件夹%1%2到它自身或它的子文件夹%3中。").arg(p, verb, o);
    case ErrorKind::ReplaceItself:
        return QStringLiteral("不能用%1替换它自身：源和目标是同一个项目。").arg(p);
    case ErrorKind::ContainsItem:
        return QStringLiteral("不能把%1%2到这里：目标中同名的文件夹%3包含它自身。").arg(p, verb, o);
    case ErrorKind::LinkToReplaced:
        return QStringLiteral("不能用链接%1替换%2：链接指向的正是这个文件，替换会毁掉它。")
            .arg(p, o);
    case ErrorKind::FolderOverFile:
        return QStringLiteral("%1是一个文件，不能用同名文件夹%2替换它。").arg(o, p);
    case ErrorKind::FileOverFolder:
        return QStringLiteral("%1是一个文件夹，不能用同名文件%2替换它。").arg(o, p);
    case ErrorKind::ReadFolder:
        return QStringLiteral("无法读取文件夹%1：%2").arg(p, why);
    case ErrorKind::CreateFolder:
        return QStringLiteral("无法创建文件夹%1：%2").arg(p, why);
    case ErrorKind::OpenFolder:
        return QStringLiteral("无法打开文件夹%1：%2").arg(p, why);
    case ErrorKind::Examine:
        return QStringLiteral("无法%1%2：%3").arg(verb, p, why);
    case ErrorKind::Transfer:
        return QStringLiteral("无法将%1%2到%3：%4").arg(p, verb, o, why);
    case ErrorKind::Unsupported:
        return QStringLiteral("无法%1%2：不支持这种类型的文件。").arg(verb, p);
    case ErrorKind::Changed:
        return QStringLiteral("无法%1%2：它在%1时被换成了别的文件。").arg(verb, p);
    case ErrorKind::Remove:
        return QStringLiteral("无法删除%1：%2").arg(p, why);
    case ErrorKind::RemoveFolder:
        return QStringLiteral("无法删除文件夹%1：%2").arg(p, why);
    }
    return QStringLiteral("无法%1%2：%3").arg(verb, p, why);
}

} // namespace qb

#include "printing/certificatelist.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace printing {

namespace {

using paths::TemplateKind;

int slot(TemplateKind kind)
{
    return kind == TemplateKind::Original ? 0 : 1;
}

TemplateKind kindOf(int slot)
{
    return slot == 0 ? TemplateKind::Original : TemplateKind::Duplicate;
}

// What a filter or a typed number is compared as: compatibility-normalised
// (full-width letters and digits as half-width) and case-folded.
QString comparable(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

} // namespace

CertificateList::CertificateList(QObject* parent) : QAbstractTableModel(parent) {}

QStringList CertificateList::load(const QString& outputDir)
{
    beginResetModel();
    lines_.clear();
    outputDir_ = outputDir;
    QHash<QString, int> index;
    auto lineFor = [&](const QString& certificate) -> Line& {
        auto found = index.constFind(certificate);
        if (found != index.constEnd())
            return lines_[*found];
        index.insert(certificate, int(lines_.size()));
        lines_.append(Line{certificate, {}, {}, {}, {}});
        return lines_.last();
    };

    const RunList run = readRunList(outputDir);
    for (const DocumentRef& document : run.documents) {
        Line& line = lineFor(document.certificate);
        line.inLatestRun[slot(document.kind)] = true;
        line.present[slot(document.kind)] =
            QFileInfo(QDir(outputDir).filePath(document.fileName())).isFile();
    }

    // The folder's other documents, the most recently changed certificate first.
    struct Other
    {
        DocumentRef document;
        QDateTime modified;
    };
    QHash<QString, QDateTime> newest;
    QList<Other> others;
    const QFileInfoList files = QDir(outputDir).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        const auto document = parseDocumentFileName(file.fileName());
        if (!document || file.fileName() != document->fileName())
            continue; // not a name the generation writes
        if (index.contains(document->certificate)) {
            lines_[index.value(document->certificate)].present[slot(document->kind)] = true;
            continue;
        }
        others.append({*document, file.lastModified()});
        QDateTime& latest = newest[document->certificate];
        latest = std::max(latest, file.lastModified());
    }
    std::stable_sort(others.begin(), others.end(), [&](const Other& a, const Other& b) {
        return newest.value(a.document.certificate) > newest.value(b.document.certificate);
    });
    for (const Other& other : others)
        lineFor(other.document.certificate).present[slot(other.document.kind)] = true;
    endResetModel();
    emit ticksChanged();
    return run.problems;
}

void CertificateList::setTicks(const QList<int>& rows, int which)
{
    QList<int> all = rows;
    if (which == 1 || all.isEmpty()) {
        all.clear();
        for (int i = 0; i < lines_.size(); ++i)
            all << i;
    }
    for (const int i : all) {
        Line& line = lines_[i];
        for (int k = 0; k < 2; ++k)
            line.ticked[k] = line.present[k] && (which == 2 || (which == 1 && line.inLatestRun[k]));
    }
    if (!lines_.isEmpty())
        emit dataChanged(index(0, Original), index(int(lines_.size()) - 1, Duplicate));
    emit ticksChanged();
}

void CertificateList::tickLatestRun()
{
    setTicks({}, 1);
}

void CertificateList::tickAll(const QList<int>& rows)
{
    setTicks(rows, 2);
}

void CertificateList::tickNone(const QList<int>& rows)
{
    setTicks(rows, 0);
}

QStringList CertificateList::tickArguments(const QStringList& arguments)
{
    QStringList problems;
    const QString folder = QFileInfo(outputDir_).canonicalFilePath();
    for (const QString& argument : arguments) {
        const QFileInfo file(argument);
        if (file.isAbsolute() || argument.contains(u'/') || file.exists()) {
            const auto document = parseDocumentFileName(file.fileName());
            const int line = document ? lineOf(document->certificate) : -1;
            if (!document || line < 0 || !lines_[line].present[slot(document->kind)] ||
                file.absoluteDir().canonicalPath() != folder || folder.isEmpty()) {
                problems << QStringLiteral("“%1”不是正副本目录中的证书文档，未选中。")
                                .arg(QDir::toNativeSeparators(argument));
                continue;
            }
            lines_[line].ticked[slot(document->kind)] = true;
            changedLine(line);
            continue;
        }
        const int line = lineOf(argument);
        if (line < 0) {
            problems << QStringLiteral("正副本目录中没有证书“%1”的文档。").arg(argument);
            continue;
        }
        for (int k = 0; k < 2; ++k)
            lines_[line].ticked[k] = lines_[line].present[k];
        changedLine(line);
    }
    emit ticksChanged();
    return problems;
}

QList<DocumentRef> CertificateList::tickedDocuments() const
{
    QList<DocumentRef> documents;
    for (const Line& line : lines_) {
        for (int k = 0; k < 2; ++k) {
            if (line.ticked[k])
                documents << DocumentRef{line.certificate, kindOf(k)};
        }
    }
    return documents;
}

int CertificateList::tickedCount() const
{
    int count = 0;
    for (const Line& line : lines_)
        count += int(line.ticked[0]) + int(line.ticked[1]);
    return count;
}

void CertificateList::setCheck(const DocumentRef& document, int pages,
                               const QString& placeholderLeft)
{
    const int line = lineOf(document.certificate);
    if (line < 0)
        return;
    Check& check = lines_[line].check[slot(document.kind)];
    check.done = true;
    check.fits = pages <= 1 && placeholderLeft.isEmpty();
    QStringList found;
    if (pages > 1)
        found << QStringLiteral("%1 页").arg(pages);
    if (!placeholderLeft.isEmpty())
        found << QStringLiteral("仍有“%1”").arg(placeholderLeft);
    check.text = found.isEmpty() ? QStringLiteral("通过") : found.join(QStringLiteral("，"));
    changedLine(line);
}

CertificateList::Check CertificateList::checkOf(const DocumentRef& document) const
{
    const int line = lineOf(document.certificate);
    return line < 0 ? Check{} : lines_[line].check[slot(document.kind)];
}

void CertificateList::clearChecks()
{
    for (Line& line : lines_)
        line.check = {};
    if (!lines_.isEmpty())
        emit dataChanged(index(0, Original), index(int(lines_.size()) - 1, Duplicate));
}

int CertificateList::lineOf(const QString& certificate) const
{
    const QString name = certificate.normalized(QString::NormalizationForm_C);
    for (int i = 0; i < lines_.size(); ++i) {
        if (lines_[i].certificate == name)
            return i;
    }
    return -1;
}

void CertificateList::changedLine(int line)
{
    emit dataChanged(index(line, Original), index(line, Duplicate));
}

int CertificateList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(lines_.size());
}

int CertificateList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CertificateList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= lines_.size())
        return {};
    const Line& line = lines_[index.row()];
    if (index.column() == Number) {
        if (role == Qt::DisplayRole)
            return line.certificate;
        if (role == Qt::ToolTipRole && (line.inLatestRun[0] || line.inLatestRun[1]))
            return QStringLiteral("最近一次生成");
        return {};
    }
    const int k = index.column() == Original ? 0 : 1;
    switch (role) {
    case Qt::CheckStateRole:
        return line.present[k] ? QVariant(line.ticked[k] ? Qt::Checked : Qt::Unchecked)
                               : QVariant();
    case Qt::DisplayRole:
        if (!line.present[k])
            return QStringLiteral("（无）");
        return line.check[k].text;
    case Qt::ForegroundRole:
        if (line.check[k].done && !line.check[k].fits)
            return QBrush(QColor(Qt::red));
        return {};
    default:
        return {};
    }
}

bool CertificateList::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() == Number || role != Qt::CheckStateRole || locked_)
        return false;
    const int k = index.column() == Original ? 0 : 1;
    Line& line = lines_[index.row()];
    if (!line.present[k])
        return false;
    line.ticked[k] = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index);
    emit ticksChanged();
    return true;
}

Qt::ItemFlags CertificateList::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled;
    if (index.column() != Number && !locked_ &&
        lines_[index.row()].present[index.column() == Original ? 0 : 1])
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant CertificateList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Number:
        return QStringLiteral("证书号");
    case Original:
        return QStringLiteral("正本");
    case Duplicate:
        return QStringLiteral("副本");
    default:
        return {};
    }
}

void CertificateFilter::setText(const QString& text)
{
    text_ = comparable(text.trimmed());
    invalidateFilter();
}

QList<int> CertificateFilter::shownRows() const
{
    QList<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        rows << mapToSource(index(row, 0)).row();
    return rows;
}

bool CertificateFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (text_.isEmpty())
        return true;
    const QString number =
        sourceModel()->index(sourceRow, CertificateList::Number, sourceParent).data().toString();
    return comparable(number).contains(text_);
}

QString heldBackQuestion(const QList<DocumentRef>& documents, const CertificateList& list)
{
    constexpr int shown = 15; // a box the screen can still hold
    QStringList named;
    for (const DocumentRef& document : documents.mid(0, shown)) {
        const CertificateList::Check check = list.checkOf(document);
        named << QStringLiteral("证书“%1”（%2）：%3")
                     .arg(document.certificate, kindName(document.kind),
                          check.done ? check.text : QStringLiteral("未通过检查"));
    }
    if (documents.size() > shown)
        named << QStringLiteral("……另有 %1 份").arg(documents.size() - shown);
    return QStringLiteral("以下证书未通过打印前的检查，尚未打印：\n\n%1\n\n"
                          "按“确定”仍然打印这些证书；按“取消”不打印它们，其余证书照常打印。")
        .arg(named.join(u'\n'));
}

} // namespace printing

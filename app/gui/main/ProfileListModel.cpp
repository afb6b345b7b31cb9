#include "app/gui/main/ProfileListModel.h"

#include "app/gui/bridge/QtBridge.h"

#include <algorithm>
#include <cmath>

namespace {

QString DayText(TDateTime value) {
    return ToQString(FormatDateTime("c", std::trunc(value)));
}

} // namespace

TProfileListModel::TProfileListModel(QObject* parent) : QAbstractTableModel(parent) {
}

int TProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TProfileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TProfileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TProfileHeader& header = Row(index.row());
    const int column = index.column();
    if (role == Qt::DecorationRole && column == kName) return RowIcon;
    if (role == Qt::TextAlignmentRole && (column == kFilter || column == kFtp)) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (column) {
    case kName:
        return ToQString(header.ProfileName);
    case kTemplate:
        return ToQString(header.TemplateName);
    case kFilter:
        return header.FilterOn ? "ON" : "OFF";
    case kFtp:
        return header.FtpOn ? "ON" : "OFF";
    case kCreated:
        return DayText(header.CreationDate);
    case kLastReport:
        return header.LastReportDate == 0 ? QString("None Yet") : DayText(header.LastReportDate);
    default:
        return {};
    }
}

QVariant TProfileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kTitles[kColumnCount] = {"Profile Name", "Template used", "Filter",
                                                      "FTP",          "Creation date", "Last report"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString(kTitles[section]);
    if (role == Qt::TextAlignmentRole && (section == kFilter || section == kFtp)) return int(Qt::AlignCenter);
    return {};
}

void TProfileListModel::SetRows(std::vector<TProfileHeader> rows, int32_t sortState) {
    beginResetModel();
    Rows = std::move(rows);
    std::stable_sort(Rows.begin(), Rows.end(), TProfileHeaderOrder{sortState});
    endResetModel();
}

void TProfileListModel::Sort(int32_t sortState) {
    beginResetModel();
    std::stable_sort(Rows.begin(), Rows.end(), TProfileHeaderOrder{sortState});
    endResetModel();
}

int TProfileListModel::SetRow(TProfileHeader header) {
    const int row = FindRow(header.ProfileName);
    if (row >= 0) {
        Rows[static_cast<size_t>(row)] = std::move(header);
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        return row;
    }
    const int added = rowCount();
    beginInsertRows({}, added, added);
    Rows.push_back(std::move(header));
    endInsertRows();
    return added;
}

void TProfileListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    Rows.erase(Rows.begin() + row);
    endRemoveRows();
}

int TProfileListModel::FindRow(std::string_view name) const {
    for (size_t i = 0; i < Rows.size(); ++i)
        if (Rows[i].ProfileName == name) return static_cast<int>(i);
    return -1;
}

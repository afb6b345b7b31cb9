#include "app/gui/main/ReportListModel.h"

#include "app/gui/bridge/QtBridge.h"

#include <algorithm>
#include <cmath>

namespace {

// A date of params.ini; 0 (missing) shows "N/A".
QString DayText(TDateTime value) {
    return value == 0 ? QString("N/A") : ToQString(FormatDateTime("c", std::trunc(value)));
}

} // namespace

TReportListModel::TReportListModel(QObject* parent) : QAbstractTableModel(parent) {
}

int TReportListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TReportListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TReportListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TReportHeader& header = Row(index.row());
    if (role == Qt::DecorationRole && index.column() == kName) return RowIcon;
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case kName:
        return ToQString(header.FolderName);
    case kStart:
        return DayText(header.StartDate);
    case kEnd:
        return DayText(header.EndDate);
    case kCreated:
        return DayText(header.CreationDate);
    default:
        return {};
    }
}

QVariant TReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kTitles[kColumnCount] = {"Report Name", "Start Date", "End Date", "Creation Date"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount || role != Qt::DisplayRole) return {};
    return QString(kTitles[section]);
}

void TReportListModel::SetRows(std::vector<TReportHeader> rows, int32_t sortState) {
    beginResetModel();
    Rows = std::move(rows);
    std::stable_sort(Rows.begin(), Rows.end(), TReportHeaderOrder{sortState});
    endResetModel();
}

void TReportListModel::Sort(int32_t sortState) {
    beginResetModel();
    std::stable_sort(Rows.begin(), Rows.end(), TReportHeaderOrder{sortState});
    endResetModel();
}

void TReportListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    Rows.erase(Rows.begin() + row);
    endRemoveRows();
}

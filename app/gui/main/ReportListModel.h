#pragma once
// The rows of the main window's archived-reports list: one TReportHeader each, in the order
// of the list's sort state (ours, by CompareReportHeaders).

#include "report/ReportHeaders.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

class TReportListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { kName, kStart, kEnd, kCreated, kColumnCount };

    explicit TReportListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces every row and sorts them by sortState.
    void SetRows(std::vector<TReportHeader> rows, int32_t sortState);
    void Sort(int32_t sortState);
    void RemoveRow(int row);

    const TReportHeader& Row(int row) const { return Rows[static_cast<size_t>(row)]; }

    QIcon RowIcon;

private:
    std::vector<TReportHeader> Rows;
};

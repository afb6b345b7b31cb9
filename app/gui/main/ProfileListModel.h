#pragma once
// The rows of the main window's profile list: one TProfileHeader each, in the order of the
// list's sort state (ours, by CompareProfileHeaders, never the view's own sorting).

#include "profile/ProfileHeaders.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <string_view>
#include <vector>

class TProfileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { kName, kTemplate, kFilter, kFtp, kCreated, kLastReport, kColumnCount };

    explicit TProfileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces every row and sorts them by sortState.
    void SetRows(std::vector<TProfileHeader> rows, int32_t sortState);
    // Puts the rows in the order of sortState.
    void Sort(int32_t sortState);
    // Replaces the row of header's profile, or adds it at the end; its row.
    int SetRow(TProfileHeader header);
    void RemoveRow(int row);

    const TProfileHeader& Row(int row) const { return Rows[static_cast<size_t>(row)]; }
    // The row of profile name (whole name, letter case counts); -1 when none.
    int FindRow(std::string_view name) const;

    QIcon RowIcon;

private:
    std::vector<TProfileHeader> Rows;
};

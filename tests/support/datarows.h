#pragma once

#include <QTest>

// One data row per table row, named by the row's first field and fetched as its index.
template<typename Row, size_t N> void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < N; ++i)
        QTest::addRow("%s", rows[i].name) << int(i);
}

// The row of rows that the running test's data row names.
template<typename Rows> decltype(auto) fetchRow(const Rows &rows)
{
    QFETCH(int, row);
    return rows[row];
}

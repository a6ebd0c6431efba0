#pragma once

#include <QString>

#include <array>

namespace keldor {

// One row of the headend directory. Nothing checks that the address or the port is well formed:
// they are used as typed.
struct HeadendEntry {
    QString name;
    QString location;
    QString ip;
    QString port;

    bool operator==(const HeadendEntry &) const = default;
};

inline constexpr auto directoryTable = "KELDOR_Headend";

// The table's text columns in their order, with the most characters each may hold.
struct DirectoryColumn {
    const char *name;
    int maxLength;
};
inline constexpr std::array<DirectoryColumn, 4> directoryColumns{
    {{"Name", 100}, {"Location", 100}, {"IP-Adress", 50}, {"Port", 5}}};

// The entry's values in the order of directoryColumns.
std::array<QString, 4> columnValues(const HeadendEntry &entry);

// Empty when every value fits its column, otherwise a text for the operator that names the
// first one that does not and its limit.
QString lengthError(const HeadendEntry &entry);

} // namespace keldor

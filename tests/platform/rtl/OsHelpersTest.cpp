#include "OsHelpers.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

FILETIME FileTime(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

QString ExpectedComputerName() {
    return QSysInfo::machineHostName().section(u'.', 0, 0).toUpper();
}

} // namespace

TEST(OsHelpers, GetComputerNameFollowsTheBufferSizeProtocol) {
    const QString expected = ExpectedComputerName();
    ASSERT_FALSE(expected.isEmpty());
    const auto length = static_cast<DWORD>(expected.size());

    DWORD size = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetComputerNameW(nullptr, &size), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, length + 1);

    std::u16string buffer(length + 1, u'#');
    size = length; // one short: no room for the terminator
    EXPECT_EQ(GetComputerNameW(buffer.data(), &size), FALSE);
    EXPECT_EQ(size, length + 1);
    EXPECT_EQ(buffer, std::u16string(length + 1, u'#'));

    size = length + 1;
    EXPECT_EQ(GetComputerNameW(buffer.data(), &size), TRUE);
    EXPECT_EQ(size, length);
    EXPECT_EQ(QString::fromStdU16String(buffer.substr(0, length)), expected);
    EXPECT_EQ(buffer[length], u'\0');

    EXPECT_EQ(GetComputerNameW(buffer.data(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(OsHelpers, FileTimeToSystemTimeSplitsKnownTimes) {
    SYSTEMTIME t{};
    FILETIME known = FileTime(0x01DA6F06697E6930); // 2024-03-05 14:07:09.123, a Tuesday
    ASSERT_EQ(FileTimeToSystemTime(&known, &t), TRUE);
    EXPECT_EQ(t.wYear, 2024);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 5);
    EXPECT_EQ(t.wDayOfWeek, 2);
    EXPECT_EQ(t.wHour, 14);
    EXPECT_EQ(t.wMinute, 7);
    EXPECT_EQ(t.wSecond, 9);
    EXPECT_EQ(t.wMilliseconds, 123);
    FILETIME back{};
    ASSERT_EQ(SystemTimeToFileTime(&t, &back), TRUE);
    EXPECT_EQ(Ticks(back), 0x01DA6F06697E6930u);

    FILETIME epoch = FileTime(0);
    ASSERT_EQ(FileTimeToSystemTime(&epoch, &t), TRUE);
    EXPECT_EQ((std::array{t.wYear, t.wMonth, t.wDay, t.wDayOfWeek}),
              (std::array<WORD, 4>{1601, 1, 1, 1}));

    FILETIME last = FileTime(0x7FFFFFFFFFFFFFFF);
    ASSERT_EQ(FileTimeToSystemTime(&last, &t), TRUE);
    EXPECT_EQ((std::array{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}),
              (std::array<WORD, 6>{30828, 9, 14, 2, 48, 5}));

    FILETIME tooLarge = FileTime(0x8000000000000000);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FileTimeToSystemTime(&tooLarge, &t), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    SYSTEMTIME leapDay{2024, 2, 0, 29, 23, 59, 59, 999};
    EXPECT_EQ(SystemTimeToFileTime(&leapDay, &back), TRUE);
    SYSTEMTIME noLeapDay{2023, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_EQ(SystemTimeToFileTime(&noLeapDay, &back), FALSE);
    SYSTEMTIME badHour{2024, 1, 0, 1, 24, 0, 0, 0};
    EXPECT_EQ(SystemTimeToFileTime(&badHour, &back), FALSE);
}

TEST(OsHelpers, LocalFileTimeUsesTheOffsetInForceNow) {
    zelk::test::TTimeZoneScope berlin("Europe/Berlin");
    const std::int64_t offsetTicks =
        std::int64_t{QDateTime::currentDateTime().offsetFromUtc()} * 10000000;
    // Summer and winter instants move by the same, current, offset.
    for (std::uint64_t utc : {0x01DACBAE32ED2000ULL, 0x01DA47AA5D872000ULL}) {
        FILETIME source = FileTime(utc);
        FILETIME local{};
        ASSERT_EQ(FileTimeToLocalFileTime(&source, &local), TRUE);
        EXPECT_EQ(static_cast<std::int64_t>(Ticks(local) - utc), offsetTicks);
        FILETIME back{};
        ASSERT_EQ(LocalFileTimeToFileTime(&local, &back), TRUE);
        EXPECT_EQ(Ticks(back), utc);
    }
    FILETIME tooLarge = FileTime(0x8000000000000000);
    FILETIME out{};
    EXPECT_EQ(FileTimeToLocalFileTime(&tooLarge, &out), FALSE);
    FILETIME nearEnd = FileTime(0x7FFFFFFFFFFFFFFF);
    EXPECT_EQ(FileTimeToLocalFileTime(&nearEnd, &out), offsetTicks <= 0 ? TRUE : FALSE);
}

TEST(OsHelpers, NeighbourhoodListsTheHostsOfTheHostDatabase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("hosts"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# The plant network\n"
               "127.0.0.1\tlocalhost\n"
               "\n"
               "   \n"
               "192.0.2.10   historian.plant.example historian   # the archive\n"
               "192.0.2.11\tscada-1 Scada-1.plant.example opc_gateway\n"
               "192.0.2.12 HISTORIAN\n"
               "::1     localhost ip6-localhost ip6-loopback\n"
               "ff02::1 ip6-allnodes\n"
               "2001:db8::5 engineering\n"
               "not-an-address  bogus\n"
               "192.0.2.13\n"
               "#192.0.2.14 commented-out\n");
    file.close();

    QStringList expected = {QStringLiteral("\\\\HISTORIAN"), QStringLiteral("\\\\SCADA-1"),
                            QStringLiteral("\\\\OPC_GATEWAY"), QStringLiteral("\\\\ENGINEERING"),
                            QStringLiteral("\\\\") + ExpectedComputerName()};
    expected.sort();
    expected.removeDuplicates();
    EXPECT_EQ(zelk::rtl::NetworkNeighbourhood(path), expected);
}

TEST(OsHelpers, NeighbourhoodWithoutHostsFileIsThisComputer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList self = {QStringLiteral("\\\\") + ExpectedComputerName()};
    EXPECT_EQ(zelk::rtl::NetworkNeighbourhood(dir.filePath(QStringLiteral("missing"))), self);
    // A folder cannot be read as a file.
    EXPECT_EQ(zelk::rtl::NetworkNeighbourhood(dir.path()), self);
}

#include "syserror.h"

#include "ComValueTestSupport.h"
#include "OsHelpers.h"

#include <string>

using zelk::com::SystemMessageText;

namespace {

using SystemMessages = ComValueTest;

constexpr DWORD FromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

} // namespace

TEST_F(SystemMessages, GiveTheWindowsTextsWithTheirEndings) {
    const struct {
        std::uint32_t code;
        const char* text;
    } texts[] = {
        {0x00000000, "The operation completed successfully.\r\n"},
        {0x00000001, "Incorrect function.\r\n"}, // S_FALSE reads as Win32 code 1
        {0x80004005, "Unspecified error\r\n"},
        {0x80004001, "Not implemented\r\n"},
        {0x80004002, "No such interface supported\r\n"},
        {0x80004003, "Invalid pointer\r\n"},
        {0x80070057, "The parameter is incorrect.\r\n"},
        {0x8007000E, "Not enough memory resources are available to complete this operation.\r\n"},
        {0x80070008, "Not enough memory resources are available to process this command.\r\n"},
        {0x80070005, "Access is denied.\r\n"},
        {0x8000FFFF, "Catastrophic failure\r\n"},
        {0x80004004, "Operation aborted\r\n"},
        {0x80040154, "Class not registered\r\n"},
        {0x800401F3, "Invalid class string\r\n"},
        {0x80080005, "Server execution failed\r\n"},
        {0x80040110, "Class does not support aggregation (or class object is remote)\r\n"},
        {0x800706BA, "The RPC server is unavailable.\r\n"},
        {0x80010108, "The object invoked has disconnected from its clients.\r\n"},
        {0x80010119, "Security must be initialized before any interfaces are marshalled or "
                     "unmarshalled. It cannot be changed once initialized.\r\n"},
        {0x80020005, "Type mismatch.\r\n"},
        {0x8002000A, "Out of present range.\r\n"},
        {0x80020008, "Bad variable type.\r\n"},
        {0x8002000D, "Memory is locked.\r\n"},
        {0x80070002, "The system cannot find the file specified.\r\n"},
        {0x00000002, "The system cannot find the file specified.\r\n"},
        {0x80040201, "An event was unable to invoke any of the subscribers\r\n"},
        {0x8007007E, "The specified module could not be found.\r\n"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(SystemMessageText(static_cast<HRESULT>(t.code)), QLatin1String(t.text)) << t.code;

    // No system text: connection point codes, OPC codes, unknown codes.
    for (const std::uint32_t code :
         {0x80040200u, 0x80040202u, 0xC0040004u, 0x80041234u, 0x8007FFFFu, 0x00070002u})
        EXPECT_TRUE(SystemMessageText(static_cast<HRESULT>(code)).isEmpty()) << code;
}

TEST_F(SystemMessages, FormatMessageKeepsTheBufferContract) {
    const std::u16string expected = u"Unspecified error\r\n";
    const auto length = static_cast<DWORD>(expected.size());
    WCHAR buffer[64];
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, buffer, 64, nullptr), length);
    EXPECT_EQ(std::u16string(buffer), expected);
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, buffer, length + 1, nullptr),
              length);
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, buffer, length, nullptr), 0u)
        << "no room for the terminating zero";
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80041234, 0, buffer, 64, nullptr), 0u);
    EXPECT_EQ(
        FormatMessageW(FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x80004005, 0, buffer, 64, nullptr),
        0u)
        << "only system texts are served";
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, nullptr, 64, nullptr), 0u);

    LPWSTR allocated = nullptr;
    const DWORD written =
        FormatMessageW(FromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80004005, 0x0409,
                       reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
    EXPECT_EQ(written, length);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(std::u16string(allocated), expected);
    EXPECT_EQ(LiveSinceStart(), 1);
    EXPECT_EQ(LocalFree(allocated), nullptr);

    allocated = reinterpret_cast<LPWSTR>(buffer);
    EXPECT_EQ(FormatMessageW(FromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80041234, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(allocated, nullptr) << "nothing allocated when there is no text";

    EXPECT_EQ(FormatMessageW(FromSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 0x80004005, 0,
                             buffer, 64, nullptr),
              length - 1);
    EXPECT_EQ(std::u16string(buffer), u"Unspecified error ") << "line breaks become blanks";
}

TEST_F(SystemMessages, FormatMessageSaysWhyItFailedThroughTheLastError) {
    WCHAR buffer[64];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80041234, 0, buffer, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND) << "no text for the code";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, buffer, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FormatMessageW(FromSystem, nullptr, 0x80004005, 0, nullptr, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

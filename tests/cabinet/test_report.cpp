// The Information and Properties reports, in the words of a stand-in string table: which
// message labels which value, in what order, and how the lines are put together.
#include "cabinet/Report.h"
#include "resources/MessageIds.h"

#include <gtest/gtest.h>

namespace morbek::cab {
namespace {

// "<n>" for message n: the text shows where each message goes.
QString Words(int message) {
    return QStringLiteral("<%1>").arg(message);
}

CabinetHeaderValues Header(uint32_t cabSize) {
    CabinetHeaderValues h;
    h.CabSize = cabSize;
    h.VersionMajor = 1;
    h.VersionMinor = 3;
    h.FolderCount = 2;
    h.FileCount = 65535;
    h.SetId = 4660;
    h.CabinetIndex = 1;
    return h;
}

// The header's cabinet size is an unsigned 32-bit field: sizes past 2 GiB read as they
// are; the neighbours' names are empty when the header announces none.
struct InformationCase {
    const char* name;
    uint32_t cabSize;
    CabinetNames names;
    const char* text;
};

TEST(Report, InformationListsTheHeaderAndTheSetNames) {
    const CabinetNames set{"prev.cab", "Disk 1", "next.cab", "Disk 3"};
    const InformationCase cases[] = {
        {"SetMember", 300, set,
         "<180>300<181>\n\r<182>1.3\n\r<183>2\n\r<184>65535\n\r<185>4660\n\r<186>1\n\r"
         "<187>prev.cab\n\r<188>Disk 1\n\r<189>next.cab\n\r<190>Disk 3\n\r"},
        {"Alone",
         300,
         {},
         "<180>300<181>\n\r<182>1.3\n\r<183>2\n\r<184>65535\n\r<185>4660\n\r<186>1\n\r"
         "<187>\n\r<188>\n\r<189>\n\r<190>\n\r"},
    };
    for (const InformationCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportText(InformationReport(Header(c.cabSize), c.names), Words),
                  QString::fromUtf8(c.text));
    }
    const std::pair<uint32_t, const char*> sizes[] = {
        {0x7FFFFFFFu, "2147483647"},
        {0x80000000u, "2147483648"},
        {0xC0000000u, "3221225472"},
        {0xFFFFFFFFu, "4294967295"},
    };
    for (const auto& [cabSize, shown] : sizes)
        EXPECT_TRUE(
            ReportText(InformationReport(Header(cabSize), {}), Words)
                .startsWith(QStringLiteral("<180>") + QLatin1String(shown) + QStringLiteral("<181>\n\r")))
            << shown;
}

TEST(Report, PropertiesNameTheFiveColumnsOfTheEntry) {
    const struct {
        const char* name;
        EntryTexts entry;
        const char* text;
    } cases[] = {
        {"InAFolder",
         {"two.txt", "22 bytes", "Plain text", "3/12/1997 11:17:52 AM", "dir\\"},
         "<40> : two.txt\n\r<41> : 22 bytes\n\r<42> : Plain text\n\r<43> : 3/12/1997 11:17:52 AM\n\r<44> : "
         "dir\\"},
        {"NoFolderNoType",
         {"one", "0 octets", "", "Date Err.", ""},
         "<40> : one\n\r<41> : 0 octets\n\r<42> : \n\r<43> : Date Err.\n\r<44> : "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportText(PropertiesReport(c.entry), Words), QString::fromUtf8(c.text));
    }
    EXPECT_TRUE(ReportText(Report{}, Words).isEmpty());
}

} // namespace
} // namespace morbek::cab

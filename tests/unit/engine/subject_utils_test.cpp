// Subject components and the UID file-name check.
#include <gtest/gtest.h>

#include <vector>

#include "binding/subject_line.h"
#include "engine/subject_utils.h"

namespace vorlan {
namespace {

TEST(SubjectComponents, ValueRunsToNextSlashOrEnd) {
    EXPECT_EQ(ExtractSubjectComponent("/C=RU/CN=USER01", "/CN="), "USER01");
    EXPECT_EQ(ExtractSubjectComponent("/C=RU/CN=USER01/O=BANK", "/CN="), "USER01");
    EXPECT_EQ(ExtractSubjectComponent("/CN=A/OU=B", "/O="), "");
    EXPECT_EQ(ExtractSubjectComponent("/CN=A/OU=B", "/OU="), "B");
    EXPECT_EQ(ExtractSubjectComponent("/cn=A", "/CN="), "") << "tags are case-sensitive";
    EXPECT_EQ(ExtractSubjectComponent("/CN=/O=X", "/CN="), "");
}

// Escaped "/", ";" and "\" stay inside their value; a control byte stays visible as its escape.
TEST(SubjectComponents, EscapedValuesStayInsideTheirField) {
    struct Case {
        const char* line;
        const char* tag;
        const char* value;
    };
    for (const Case& c : {Case{"/O=X\\/CN=USER01/CN=MALLORY", "/CN=", "MALLORY"},
                          Case{"/O=X\\/CN=USER01/CN=MALLORY", "/O=", "X/CN=USER01"},
                          Case{"/CN=A\\\\/O=B", "/CN=", "A\\"}, Case{"/CN=A\\\\/O=B", "/O=", "B"},
                          Case{"/O=Semi\\;colon/CN=S", "/O=", "Semi;colon"}, Case{"/CN=USER01\\00X", "/CN=", "USER01\\00X"}})
        EXPECT_EQ(ExtractSubjectComponent(c.line, c.tag), c.value) << c.line << " " << c.tag;
    EXPECT_EQ(mpro::EscapeSubjectValue(std::string("a/b;c\\d\0e", 9)), "a\\/b\\;c\\\\d\\00e");
    EXPECT_EQ(mpro::EscapeSubjectValue("Ivanov I.I. <ivanov@bank.ru>"), "Ivanov I.I. <ivanov@bank.ru>");
    EXPECT_EQ(mpro::SplitSubjectList("/O=A\\;B/CN=X;/CN=Y"), (std::vector<std::string>{"/O=A\\;B/CN=X", "/CN=Y"}));
}

TEST(SubjectComponents, FieldHelpersTryTheirTagsInOrder) {
    const std::string subject = "/C=RU/ST=Moscow/L=City/O=Bank/OU=IT/CN=User/Email=u@x/T=Boss";
    EXPECT_EQ(GetSubjectCN(subject), "User");
    EXPECT_EQ(GetSubjectCountry(subject), "RU");
    EXPECT_EQ(GetSubjectState(subject), "Moscow");
    EXPECT_EQ(GetSubjectLocality(subject), "City");
    EXPECT_EQ(GetSubjectOrganization(subject), "Bank");
    EXPECT_EQ(GetSubjectUnit(subject), "IT");
    EXPECT_EQ(GetSubjectEmail(subject), "u@x");
    EXPECT_EQ(GetSubjectTitle(subject), "Boss");
    EXPECT_EQ(GetSubjectEmail("/E=a@b/Email=c@d"), "a@b");
    EXPECT_EQ(GetSubjectState("/SP=One/ST=Two"), "One");
    EXPECT_EQ(GetSubjectState("/S=Three"), "Three");
}

TEST(SubjectComponents, FieldParameters) {
    EXPECT_EQ(SubjectFieldParam(""), 16);
    EXPECT_EQ(SubjectFieldParam("cn"), 16);
    EXPECT_EQ(SubjectFieldParam("C"), 11);
    EXPECT_EQ(SubjectFieldParam("s"), 12);
    EXPECT_EQ(SubjectFieldParam("L"), 13);
    EXPECT_EQ(SubjectFieldParam("O"), 14);
    EXPECT_EQ(SubjectFieldParam("Ou"), 15);
    EXPECT_EQ(SubjectFieldParam("E"), 17);
    EXPECT_EQ(SubjectFieldParam("SN"), 16);
}

TEST(SafeUID, OrdinaryNamesPass) {
    for (const char* uid : {"USER01", "Ivanov I.I.", "A-B_C (01-02-2024 10-20-30)", "0A1B2C", "CONSOLE", "COM10",
                            "LPT", "Nul1"})
        EXPECT_TRUE(IsSafeUID(uid)) << uid;
}

TEST(SafeUID, NamesThatLeaveTheDirectoryOrNameADeviceAreRefused) {
    for (const char* uid : {"", "..", "..\\x", "a/../b", "a\\b", "a/b", "C:x", "x..", "a\x01", "tab\there",
                            "a*", "a?", "a|b", "<a>", "\"q\"", "CON", "con", "NUL", "aux.txt", "COM1", "lpt9",
                            "PRN ", "del\x7f"})
        EXPECT_FALSE(IsSafeUID(uid)) << uid;
}

}  // namespace
}  // namespace vorlan

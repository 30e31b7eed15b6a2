// Protocol definition files: header keys, collections, primitive lines and brace words.
#include <gtest/gtest.h>

#include <string>

#include "base/Folders.h"
#include "tests/definition/MacrosTestSupport.h"

namespace kestrava::test {
namespace {

const char* const kWorkedDefinition =
    "Primitive definitions\n"
    "ENCODING,8b10b.csv\n"
    "TRIGGER_STANDARD,SATA\n"
    "BIT_RATE_PER_SEC,1.5E9\n"
    "COLLECTION_START,SATA\n"
    "PRIM_A,K28.5,D10.2,D10.2,D27.3\n"
    "PRIM_B,K28.3,D21.4,D21.5,D21.5\n"
    "COLLECTION_END\n";

class DefinitionFile : public MacrosTest {
  protected:
    void SetUp() override {
        MacrosTest::SetUp();
        InstallShippedTable();
    }
    CMacros m;
};

TEST_F(DefinitionFile, WorkedExampleGivesTwoFourWordPrimitives) {
    WriteFile(MacrosPath("Def.csv"), kWorkedDefinition);
    m.LoadMacros(MacrosPath("Def.csv"));
    EXPECT_TRUE(messages.texts.empty());
    ASSERT_EQ(m.primitives.size(), 2u);
    EXPECT_EQ(m.primitiveNames, (std::vector<std::string>{"PRIM_A", "PRIM_B"}));
    EXPECT_EQ(m.fourWordPrimitives, (std::vector<int>{0, 1}));
    EXPECT_TRUE(m.singleWordTable.empty());
    EXPECT_EQ(m.averageWordCount, 4);
    EXPECT_EQ(m.standardGiven, 1);
    EXPECT_EQ(m.bitRateGiven, 1);
    EXPECT_EQ(m.triggerStandard, "SATA");
    EXPECT_EQ(m.bitRateText, "1.5E9");
    EXPECT_EQ(m.encodingFileName, "8b10b.csv");

    const PrimitiveDefinition& a = m.primitives[0];
    EXPECT_EQ(a.wordCount, 4);
    EXPECT_EQ(a.brace, 0);
    EXPECT_EQ(a.words[0].name, "K28.5");
    EXPECT_EQ(a.words[0].value, 261);
    EXPECT_EQ(a.words[0].rdMinusCode, 0b0011111010);
    EXPECT_EQ(a.words[0].rdPlusCode, 0b1100000101);
    EXPECT_EQ(a.words[3].value, 3 * 32 + 27);
    EXPECT_EQ(a.words[3].rangeLow, -1);
    EXPECT_NE(LogText().find("CMacros::BEfore Calling from LoadPrimitive:Load8B10BTable\r\n"),
              std::string::npos);
}

TEST_F(DefinitionFile, WindowsLineEndsKeepTheBitRateCarriageReturn) {
    std::string text = kWorkedDefinition;
    for (std::size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', p + 2))
        text.insert(p, "\r");
    text.insert(text.find("PRIM_B"), "\r\n");  // a blank Windows line inside the collection
    WriteFile(MacrosPath("Crlf.csv"), text);
    m.LoadMacros(MacrosPath("Crlf.csv"));
    EXPECT_EQ(m.triggerStandard, "SATA");
    EXPECT_EQ(m.bitRateText, "1.5E9\r");
    EXPECT_EQ(m.encodingFileName, "8b10b.csv");  // trimmed before the table is opened
    ASSERT_EQ(m.primitives.size(), 2u);
    EXPECT_EQ(m.primitives[1].words[3].name, "D21.5");
    EXPECT_EQ(m.primitives[1].words[3].value, 5 * 32 + 21);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(DefinitionFile, TitleLineIsNeverInterpreted) {
    WriteFile(MacrosPath("T.csv"),
              "TRIGGER_STANDARD,FC\nCOLLECTION_START,X\nP,K28.5\nCOLLECTION_END\n");
    m.LoadMacros(MacrosPath("T.csv"));
    EXPECT_EQ(m.standardGiven, 0);
    EXPECT_EQ(m.triggerStandard, "IBAND");
    EXPECT_EQ(m.bitRateText, "1.25E6");
    ASSERT_EQ(m.singleWordTable.size(), 1u);
    EXPECT_EQ(m.singleWordTable[0], (std::pair<std::string, int>("P", 261)));
}

TEST_F(DefinitionFile, MissingEncodingKeepsOrEmptiesTheTableName) {
    const std::string noEncoding = "t\nCOLLECTION_START,X\nP,K28.5,D21.5\nCOLLECTION_END\n";
    WriteFile(MacrosPath("NoEnc.csv"), noEncoding);
    m.LoadMacros(MacrosPath("NoEnc.csv"));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], Folders::DataFolder("Encoding") + "/" + " file not found.");
    // The default table loaded first stays whole, names included.
    EXPECT_EQ(m.GetWordFrom8Bit(261), "K28.5");
    EXPECT_EQ(m.primitives.at(0).words.at(1).value, 181);

    messages.texts.clear();
    WriteFile(MacrosPath("Def.csv"), kWorkedDefinition);
    m.LoadMacros(MacrosPath("Def.csv"));
    m.LoadMacros(MacrosPath("NoEnc.csv"));  // reloads the name given before
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(m.encodingFileName, "8b10b.csv");
    EXPECT_EQ(m.primitives.size(), 1u);
}

TEST_F(DefinitionFile, AnEncodingNameLeadingOutOfTheEncodingFolderIsNotLookedFor) {
    WriteFile(Folders::DataFolder("Macros") + "/table.csv",
              "x\nWORD_START\nD0.0,0000000000,0000000000,0,00\nWORD_END\n");
    WriteFile(
        MacrosPath("Escape.csv"),
        "t\nENCODING,../Macros/table.csv\nCOLLECTION_START,X\nP,K28.5,D21.5\nCOLLECTION_END\n");
    m.LoadMacros(MacrosPath("Escape.csv"));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
              Folders::DataFolder("Encoding") + "/../Macros/table.csv file not found.");
    EXPECT_EQ(m.Get8BitValue("K28.5"), 261);  // the default table stays
}

TEST_F(DefinitionFile, UnopenableDefinitionShowsTwoMessagesInOrder) {
    WriteFile(MacrosPath("Def.csv"), kWorkedDefinition);
    m.LoadMacros(MacrosPath("Def.csv"));
    m.LoadMacros(MacrosPath("Absent.csv"));
    EXPECT_EQ(messages.texts, (std::vector<std::string>{
                                  "Couldn't open the Primitive file",
                                  "There is no primitives found in the specified standard."}));
    EXPECT_EQ(messages.captions, (std::vector<std::string>{"KORVAN", "KORVAN"}));
    EXPECT_TRUE(m.primitives.empty());
    EXPECT_TRUE(m.fourWordPrimitives.empty());
    EXPECT_EQ(m.averageWordCount, 0);
    EXPECT_EQ(m.standardGiven, 0);
    EXPECT_EQ(m.Get8BitValue("K28.5"), 261);  // the tables were loaded all the same
}

TEST_F(DefinitionFile, BraceWordsRangesListsAndSeparators) {
    WriteFile(MacrosPath("B.csv"),
              "t\nCOLLECTION_START,X\n"
              "R,K28.5,{D0.0-D31.0},D10.2\r\n"
              "L,K28.5, {d2.0, D6.0 ,,D2.4}x,{D1.0,D2.0}\r\n"
              "M,K28.5,{D3.0-D4.0,D9.0},\r\n"
              "U,K28.5,{D1.0,D2.0\n"
              "COLLECTION_END\n");
    m.LoadMacros(MacrosPath("B.csv"));
    ASSERT_EQ(m.primitives.size(), 4u);

    const PrimitiveDefinition& r = m.primitives[0];
    ASSERT_EQ(r.wordCount, 3);
    EXPECT_EQ(r.brace, 1);
    EXPECT_EQ(r.words[1].brace, 1);
    EXPECT_EQ(r.words[1].name, "");
    EXPECT_EQ(r.words[1].value, -1);
    EXPECT_EQ(r.words[1].rdPlusCode, -1);
    EXPECT_EQ(r.words[1].rangeLow, 0);
    EXPECT_EQ(r.words[1].rangeHigh, 31);
    EXPECT_EQ(r.words[2].value, 74);

    const PrimitiveDefinition& l = m.primitives[1];
    ASSERT_EQ(l.wordCount, 3);  // text between "}" and the next comma is no word
    EXPECT_EQ(l.words[1].nameList, (std::vector<std::string>{"d2.0", "D6.0", "D2.4"}));
    EXPECT_EQ(l.words[1].rangeLow, -1);
    EXPECT_EQ(l.words[2].nameList, (std::vector<std::string>{"D1.0", "D2.0"}));

    const PrimitiveDefinition& mm = m.primitives[2];
    ASSERT_EQ(mm.wordCount, 3);  // the trailing comma ends one more (empty) word
    EXPECT_EQ(mm.words[1].rangeLow, 3);
    EXPECT_EQ(mm.words[1].rangeHigh, 4);
    EXPECT_TRUE(mm.words[1].nameList.empty());
    EXPECT_EQ(mm.words[2].name, "");
    EXPECT_EQ(mm.words[2].value, -1);

    const PrimitiveDefinition& u = m.primitives[3];  // unclosed group runs to the line end
    ASSERT_EQ(u.wordCount, 2);
    EXPECT_EQ(u.words[1].nameList, (std::vector<std::string>{"D1.0", "D2.0"}));
    EXPECT_NE(LogText().find("token - Braces only for PCI"), std::string::npos);
}

TEST_F(DefinitionFile, HeaderValuesAreBoundedAndClearKeepsThem) {
    WriteFile(MacrosPath("H.csv"), "t\nTRIGGER_STANDARD,  " + std::string(40, 'S') +
                                       "  \nBIT_RATE_PER_SEC," + std::string(30, '9') +
                                       "\nCOLLECTION_START\nP,K28.5,K28.5\n");
    m.LoadMacros(MacrosPath("H.csv"));
    EXPECT_EQ(m.triggerStandard, std::string(27, 'S'));
    EXPECT_EQ(m.bitRateText, std::string(27, '9'));
    ASSERT_EQ(m.primitives.size(), 1u);
    m.ClearAllMacros();
    EXPECT_TRUE(m.primitives.empty());
    EXPECT_TRUE(m.primitiveNames.empty());
    EXPECT_EQ(m.triggerStandard, std::string(27, 'S'));
    EXPECT_EQ(m.Get8BitValue("D0.0"), 0);
}

TEST_F(DefinitionFile, OversizedDefinitionIsReadOnlyUpToItsLimit) {
    std::string text = "t\nTRIGGER_STANDARD,EARLY\n";
    while (text.size() < CMacros::kMaxDefinitionFileBytes) text += "padding line\n";
    text += "TRIGGER_STANDARD,LATE\nCOLLECTION_START\nP,K28.5\n";
    WriteFile(MacrosPath("Big.csv"), text);
    m.LoadMacros(MacrosPath("Big.csv"));
    EXPECT_EQ(m.triggerStandard, "EARLY");
    EXPECT_TRUE(m.primitives.empty());
    EXPECT_NE(LogText().find("LoadPrimitive: file larger than 64 KiB, the rest is ignored"),
              std::string::npos);
}

}  // namespace
}  // namespace kestrava::test

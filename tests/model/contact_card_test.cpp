#include <capturekit/model/contact_card.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

using Entry = ContactCard::Entry;

TEST(ContactCardVendor, IsNamedAfterTheTrimmedOrganisationOrElseTheCardName) {
    const ContactCard card{.name = "Bo Berg",
                           .organization = "  Deli Berg \n",
                           .phones = {{.label = "work", .value = " 555 "}, {.value = "666"}},
                           .emails = {{.value = "bo@deli.example"}},
                           .website = " https://deli.example ",
                           .note = " \n "};
    EXPECT_EQ(card.vendorPayload(), (VendorPayload{.name = "Deli Berg",
                                                   .contactName = "Bo Berg",
                                                   .phone = "555",
                                                   .email = "bo@deli.example",
                                                   .website = "https://deli.example",
                                                   .notes = std::nullopt}));
    // Without an organisation the card's name is kept as stored.
    const ContactCard person{.name = " Bo ", .organization = "   ", .note = "Fridays"};
    EXPECT_EQ(person.vendorPayload(), (VendorPayload{.name = " Bo ", .notes = "Fridays"}));
    const ContactCard nameless{.name = " ", .organization = "Deli"};
    EXPECT_EQ(nameless.vendorPayload(), (VendorPayload{.name = "Deli"}));
}

TEST(ContactCardSummary, ListsHeadingEntriesWebsiteAndNoteLineByLine) {
    const ContactCard card{.name = "Bo",
                           .organization = " Deli ",
                           .jobTitle = "Owner",
                           .phones = {{.label = "mobile", .value = "555"}, {.value = "666"}},
                           .emails = {{.label = " ", .value = "bo@deli.example"}},
                           .website = "deli.example",
                           .note = " Fridays "};
    EXPECT_EQ(card.summary(),
              "Deli, Owner\nmobile: 555\n666\nbo@deli.example\ndeli.example\nFridays");
    EXPECT_EQ((ContactCard{.name = "Bo", .jobTitle = "Owner"}).summary(), "Owner");
    EXPECT_EQ((ContactCard{.name = "Bo", .organization = " ", .website = ""}).summary(), "Bo");
}

TEST(ContactCardJson, UsesTheFieldNamesAndReadsBackTheSameCard) {
    const ContactCard card{.name = "Bo",
                           .jobTitle = "Owner",
                           .phones = {{.label = "mobile", .value = "555"}},
                           .emails = {}};
    EXPECT_EQ(json::dump(card.toJson()),
              R"({"name":"Bo","jobTitle":"Owner","phones":[{"label":"mobile","value":"555"}],)"
              R"("emails":[]})");
    EXPECT_EQ(ContactCard::fromJson(Json::parse(json::dump(card.toJson()))), card);
    EXPECT_EQ(ContactCard::fromJson(Json::parse(R"({"name":"Bo","phones":[]})")).error(),
              CodingError::at(CodingError::Kind::missingValue, "emails"));
}

TEST(VCardParsing, ReadsAVersion3CardWithFoldingEscapesAndTypeLabels) {
    const auto card = ContactCard::parse(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Bo;;;\r\nFN: Bo Berg \r\n"
        "ORG:Deli\\, Berg & Sons;Kitchen\r\nTITLE:Owner\\nand cook\r\n"
        "TEL;TYPE=CELL,VOICE:+46 70 \r\n 123 45\r\nTEL;type=WORK;type=FAX:+46 8 1\r\n"
        "TEL;TYPE=VOICE:+46 8 2\r\nTEL;TYPE=HOME:   "
        "\r\nEMAIL;TYPE=INTERNET,HOME:bo@home.example\r\n"
        "item1.EMAIL;TYPE=INTERNET:bo@gym.example\r\nitem1.X-ABLabel:Gym\r\n"
        "item2.TEL:+46 8 3\r\nitem2.X-ABLabel:_$!<HomeFAX>!$_\r\n"
        "URL;TYPE=WORK:https\\://deli.example\r\nURL:https://second.example\r\n"
        "NOTE:never read\r\nX-UNKNOWN;FOO=\"a:b;c\":whatever\r\nEND:VCARD\r\n");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->name, "Bo Berg");
    EXPECT_EQ(card->organization, "Deli, Berg & Sons");
    EXPECT_EQ(card->jobTitle, "Owner\nand cook");
    EXPECT_EQ(card->phones, (std::vector<Entry>{{.label = "mobile", .value = "+46 70 123 45"},
                                                {.label = "work fax", .value = "+46 8 1"},
                                                {.label = std::nullopt, .value = "+46 8 2"},
                                                {.label = "home fax", .value = "+46 8 3"}}));
    EXPECT_EQ(card->emails, (std::vector<Entry>{{.label = "home", .value = "bo@home.example"},
                                                {.label = "Gym", .value = "bo@gym.example"}}));
    EXPECT_EQ(card->website, "https://deli.example");
    EXPECT_EQ(card->note, std::nullopt);
}

TEST(VCardParsing, ReadsVersion21QuotedPrintableAndBareParameters) {
    const auto card = ContactCard::parse(
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:S=C3=B8rensen;Bj=C3=B8rn\r\n"
        "ORG;ENCODING=QUOTED-PRINTABLE:Caf=C3=A9 =\r\nNord\r\nTEL;CELL;PREF:0701234\r\n"
        "TEL;HOME;FAX:0702\r\nTITLE;CHARSET=ISO-8859-1:Kr\xF6gare\r\nEND:VCARD\r\n");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->name, "Bj\u00F8rn S\u00F8rensen");
    EXPECT_EQ(card->organization, "Caf\u00E9 Nord");
    EXPECT_EQ(card->jobTitle, "Kr\u00F6gare");
    EXPECT_EQ(card->phones, (std::vector<Entry>{{.label = "mobile", .value = "0701234"},
                                                {.label = "home fax", .value = "0702"}}));
}

TEST(VCardParsing, ReadsVersion4UriValuesAndQuotedTypeLists) {
    const auto card = ContactCard::parse("BEGIN:VCARD\nVERSION:4.0\nFN:Ann\n"
                                         "TEL;VALUE=uri;TYPE=\"work,voice\":tel:+1-555-0100\n"
                                         "EMAIL;TYPE=work:mailto:ann@work.example\nEND:VCARD\n");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->phones, (std::vector<Entry>{{.label = "work", .value = "+1-555-0100"}}));
    EXPECT_EQ(card->emails, (std::vector<Entry>{{.label = "work", .value = "ann@work.example"}}));
}

TEST(VCardParsing, NamesTheCardFromFormattedNameThenStructuredNameThenOrganisation) {
    EXPECT_EQ(ContactCard::parse("BEGIN:VCARD\nFN:  \nN:Berg;Bo;Jon,Erik;Dr.;Jr.\nEND:VCARD")->name,
              "Dr. Bo Jon Erik Berg Jr.");
    EXPECT_EQ(ContactCard::parse("BEGIN:VCARD\nN:;;;;\nORG: Deli ;x\nEND:VCARD")->name, "Deli");
    EXPECT_EQ(ContactCard::parse("BEGIN:VCARD\nTEL:555\nEND:VCARD"), std::nullopt);
}

TEST(VCardParsing, ReadsOnlyTheFirstCompleteCard) {
    const auto card = ContactCard::parse("junk\nBEGIN:VCARD\nFN:Ann\n"
                                         "AGENT:\nBEGIN:VCARD\nFN:Agent\nTEL:1\nEND:VCARD\n"
                                         "TEL:2\nEND:VCARD\nBEGIN:VCARD\nFN:Bo\nEND:VCARD\n");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->name, "Ann");
    EXPECT_EQ(card->phones, (std::vector<Entry>{{.value = "2"}}));
    EXPECT_EQ(ContactCard::parse("BEGIN:VCARD\nFN:Ann\nTEL:1\n"), std::nullopt);
    EXPECT_EQ(ContactCard::parse("FN:Ann\nEND:VCARD\n"), std::nullopt);
    EXPECT_EQ(ContactCard::parse(""), std::nullopt);
}

TEST(VCardParsing, MakesAnyInputValidText) {
    const auto broken = ContactCard::parse("BEGIN:VCARD\nFN:A\xFF\xC0z\nTEL;TYPE=\"cell:1\n"
                                           "no colon here\n:empty name\nEND:VCARD");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->name, "A\uFFFD\uFFFDz");
    EXPECT_TRUE(broken->phones.empty());

    std::string utf16le = "\xFF\xFE";
    for (const char16_t unit :
         std::u16string_view(u"BEGIN:VCARD\r\nFN:\u00C5sa \U0001F600\r\nEND:VCARD")) {
        utf16le += static_cast<char>(unit & 0xFF);
        utf16le += static_cast<char>(unit >> 8);
    }
    EXPECT_EQ(ContactCard::parse(utf16le)->name, "\u00C5sa \U0001F600");
}

// Docker's size texts and loosely typed JSON values.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "analysis/DockerInspector.h"

using namespace sorvel;
using DockerInspector::detail::bytes;

TEST(DockerSizes, DecimalUnitsSpacesAndPlainNumbers) {
    EXPECT_EQ(bytes("1.09kB"), 1'090);
    EXPECT_EQ(bytes("2.5 GB"), 2'500'000'000);
    EXPECT_EQ(bytes("12"), 12);
    EXPECT_EQ(bytes("63B"), 63);
    EXPECT_EQ(bytes("432MB"), 432'000'000);
    EXPECT_EQ(bytes("3.1TB"), 3'100'000'000'000);
    EXPECT_EQ(bytes("7KB"), 7'000);
    EXPECT_EQ(bytes(" \t1.5GB\t "), 1'500'000'000);
    EXPECT_EQ(bytes("12 B"), 12);
    EXPECT_EQ(bytes("+4kB"), 4'000);
    EXPECT_EQ(bytes("1e3B"), 1'000);
}

TEST(DockerSizes, OnlyTheOwnSizeBeforeTheParenthesisCounts) {
    EXPECT_EQ(bytes("0B (virtual 1.2GB)"), 0);
    EXPECT_EQ(bytes("63B (virtual 432MB)"), 63);
    EXPECT_EQ(bytes("1.2GB(50%)"), 0); // no space before the parenthesis: not a number
}

TEST(DockerSizes, WhatCannotBeReadCountsAsZero) {
    EXPECT_EQ(bytes("1.5GiB"), 0);
    EXPECT_EQ(bytes("N/A"), 0);
    EXPECT_EQ(bytes(std::nullopt), 0);
    EXPECT_EQ(bytes(""), 0);
    EXPECT_EQ(bytes("  \t "), 0);
    EXPECT_EQ(bytes("B"), 0);
    EXPECT_EQ(bytes("1,5GB"), 0);
    EXPECT_EQ(bytes("1.5 mb"), 0);
    EXPECT_EQ(bytes("12\n"), 0); // line feeds are not trimmed
    // Not finite, or beyond 64 bits: must not stop anything.
    EXPECT_EQ(bytes("infTB"), 0);
    EXPECT_EQ(bytes("nanGB"), 0);
    EXPECT_EQ(bytes("1e300TB"), 0);
    EXPECT_EQ(bytes("99999999999TB"), 0);
}

TEST(DockerSizes, TruncatesTowardZero) {
    EXPECT_EQ(bytes("1.9999B"), 1);
    EXPECT_EQ(bytes("-1.5kB"), -1'500);
    EXPECT_EQ(bytes("-0.7B"), 0);
}

TEST(DockerJSONText, StringsAndNumbersOnly) {
    using DockerInspector::detail::string;
    const nlohmann::json row = nlohmann::json::parse(
        R"({"s":"text","i":3,"n":-4,"u":18446744073709551615,"f":1.5,"w":2.0,"b":true,"z":null,"o":{},"a":[]})");
    EXPECT_EQ(string(&row["s"]), "text");
    EXPECT_EQ(string(&row["i"]), "3");
    EXPECT_EQ(string(&row["n"]), "-4");
    EXPECT_EQ(string(&row["u"]), "18446744073709551615");
    EXPECT_EQ(string(&row["f"]), "1.5");
    EXPECT_EQ(string(&row["w"]), "2");
    EXPECT_EQ(string(&row["b"]), std::nullopt);
    EXPECT_EQ(string(&row["z"]), std::nullopt);
    EXPECT_EQ(string(&row["o"]), std::nullopt);
    EXPECT_EQ(string(&row["a"]), std::nullopt);
    EXPECT_EQ(string(nullptr), std::nullopt);
}

// How the update tests print lists when a comparison fails: every line, and
// numbers up to a point.
#pragma once
#include <doctest/doctest.h>
#include <string>
#include <vector>

// Lists of lines and numbers print in full when a comparison fails.
namespace doctest {
template <> struct StringMaker<std::vector<std::string>> {
    static String convert(const std::vector<std::string> &v) {
        std::string s = "{";
        for (size_t i = 0; i < v.size(); ++i) s += (i ? ", \"" : "\"") + v[i] + "\"";
        return String((s + "}").c_str());
    }
};
template <> struct StringMaker<std::vector<int>> {
    static String convert(const std::vector<int> &v) {
        std::string s = "{";
        for (size_t i = 0; i < v.size() && i < 40; ++i) s += (i ? ", " : "") + std::to_string(v[i]);
        if (v.size() > 40) s += ", ... (" + std::to_string(v.size()) + " in all)";
        return String((s + "}").c_str());
    }
};
}  // namespace doctest

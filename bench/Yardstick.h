// The yardstick for the calculator's speed: a minimal recursive-descent evaluator that
// re-reads the text on every call, knowing only + - * /, parentheses, numerals and variables
// from a std::map. Benchmark-only code.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

namespace bench {

class Yardstick {
  public:
    explicit Yardstick(const std::map<std::string, double>& vars) : vars_(vars) {}

    double Evaluate(const std::string& text) {
        s_ = text.c_str();
        return Sum();
    }

  private:
    void Blanks() {
        while (*s_ == ' ') ++s_;
    }
    double Sum() {
        double v = Term();
        for (;;) {
            Blanks();
            if (*s_ == '+') {
                ++s_;
                v += Term();
            } else if (*s_ == '-') {
                ++s_;
                v -= Term();
            } else {
                return v;
            }
        }
    }
    double Term() {
        double v = Factor();
        for (;;) {
            Blanks();
            if (*s_ == '*') {
                ++s_;
                v *= Factor();
            } else if (*s_ == '/') {
                ++s_;
                v /= Factor();
            } else {
                return v;
            }
        }
    }
    double Factor() {
        Blanks();
        if (*s_ == '(') {
            ++s_;
            double v = Sum();
            Blanks();
            if (*s_ == ')') ++s_;
            return v;
        }
        if (*s_ == '-') {
            ++s_;
            return -Factor();
        }
        if (std::isdigit(static_cast<unsigned char>(*s_)) || *s_ == '.') {
            char* end = nullptr;
            double v = std::strtod(s_, &end);
            s_ = end;
            return v;
        }
        const char* start = s_;
        while (std::isalnum(static_cast<unsigned char>(*s_)) || *s_ == '_') ++s_;
        auto it = vars_.find(std::string(start, s_));
        return it == vars_.end() ? 0.0 : it->second;
    }

    const std::map<std::string, double>& vars_;
    const char* s_ = nullptr;
};

}  // namespace bench

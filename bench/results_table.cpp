// results_table: one Markdown table from the CSV output of several benchmark programs
// (--benchmark_format=csv). A result's label says what it is compared with:
//   "="            the reference of its comparison
//   "~NAME"        time per call (or the peak_x counter) divided by that of NAME
//   "*NAME"        throughput (items per second) divided by that of NAME
// optionally followed by " | note"; any other label is a note. NAME is looked up in the
// same file first, then in all. Rows without a label are listed with their time only.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Row {
    std::size_t file = 0;
    std::string name, unit, label, error;
    double realTime = 0, itemsPerSecond = 0;
    std::optional<double> peak;
};

// Fields: the fields of one CSV line (quoted fields may hold commas and doubled quotes).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

double Number(const std::string& text) {
    try {
        return text.empty() ? 0 : std::stod(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// Read: the rows of one program's CSV output (lines before the header are skipped).
void Read(std::istream& in, std::size_t file, std::vector<Row>& rows) {
    std::vector<std::string> header;
    for (std::string line; std::getline(in, line);) {
        if (header.empty()) {
            if (line.rfind("name,", 0) == 0) header = Fields(line);
            continue;
        }
        const auto fields = Fields(line);
        std::map<std::string, std::string> at;
        for (std::size_t i = 0; i < fields.size() && i < header.size(); ++i) at[header[i]] = fields[i];
        Row row;
        row.file = file;
        row.name = at["name"];
        row.unit = at["time_unit"];
        row.label = at["label"];
        row.error = at["error_occurred"] == "true" ? at["error_message"] : "";
        row.realTime = Number(at["real_time"]);
        row.itemsPerSecond = Number(at["items_per_second"]);
        if (!at["peak_x"].empty()) row.peak = Number(at["peak_x"]);
        rows.push_back(row);
    }
}

// Nanoseconds: the time per call of a row, whatever unit it was reported in.
double Nanoseconds(const Row& r) {
    const std::map<std::string, double> scale{{"ns", 1}, {"us", 1e3}, {"ms", 1e6}, {"s", 1e9}};
    const auto it = scale.find(r.unit);
    return it == scale.end() ? 0 : r.realTime * it->second;
}

std::string Fixed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::string Time(const Row& r) {
    const std::string unit = r.unit == "us" ? "µs" : r.unit;
    return Fixed(r.realTime, r.realTime < 10 ? 2 : r.realTime < 100 ? 1 : 0) + " " + unit;
}

std::string Throughput(double perSecond) {
    return perSecond >= 1000 ? Fixed(perSecond / 1000, 2) + " k/s" : Fixed(perSecond, 1) + " /s";
}

// Display: a benchmark name as a reader wants it: "/real_time" and "/iterations:N" dropped,
// threads spelled out.
std::string Display(std::string name) {
    if (auto at = name.find("/real_time"); at != std::string::npos) name.erase(at, 10);
    if (auto at = name.find("/iterations:"); at != std::string::npos) name.erase(at, name.find('/', at + 1) - at);
    if (auto at = name.find("/threads:"); at != std::string::npos) {
        const std::string n = name.substr(at + 9);
        name = name.substr(0, at) + ", " + n + (n == "1" ? " thread" : " threads");
    }
    return name;
}

const Row* Find(const std::vector<Row>& rows, const std::string& name, std::size_t file) {
    const Row* any = nullptr;
    for (const Row& r : rows) {
        if (r.name != name) continue;
        if (r.file == file) return &r;
        if (any == nullptr) any = &r;
    }
    return any;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Row> rows;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        if (!in) {
            std::cerr << "results_table: cannot read " << argv[i] << "\n";
            return 2;
        }
        Read(in, static_cast<std::size_t>(i), rows);
    }
    std::cout << "| Measured | Result | Ratio | Compared with |\n|---|---|---|---|\n";
    for (const Row& r : rows) {
        std::string mark = r.label, note;
        if (auto bar = mark.find(" | "); bar != std::string::npos) {
            note = mark.substr(bar + 3);
            mark.erase(bar);
        }
        if (mark.empty() || (mark[0] != '=' && mark[0] != '~' && mark[0] != '*')) {
            note = r.label;
            mark.clear();
        }
        const std::string name = Display(r.name) + (note.empty() ? "" : " (" + note + ")");
        if (!r.error.empty()) {
            std::cout << "| " << name << " | failed: " << r.error << " | | |\n";
            continue;
        }
        const bool throughput = !mark.empty() && mark[0] == '*';
        const bool threaded = r.name.find("/threads:") != std::string::npos;
        std::string result = r.peak ? Fixed(*r.peak, 2) + " × data" : (throughput || (threaded && mark == "=" && r.itemsPerSecond > 0)) ? Throughput(r.itemsPerSecond) : Time(r);
        std::string ratio, versus;
        if (mark == "=") {
            ratio = "1.00";
            versus = "(reference)";
        } else if (!mark.empty()) {
            const Row* ref = Find(rows, mark.substr(1), r.file);
            versus = Display(mark.substr(1));
            if (ref == nullptr || !ref->error.empty()) {
                ratio = "?";
            } else if (throughput) {
                ratio = ref->itemsPerSecond > 0 ? Fixed(r.itemsPerSecond / ref->itemsPerSecond, 2) : "?";
            } else if (r.peak && ref->peak) {
                ratio = *ref->peak > 0 ? Fixed(*r.peak / *ref->peak, 2) : "?";
            } else {
                ratio = Nanoseconds(*ref) > 0 ? Fixed(Nanoseconds(r) / Nanoseconds(*ref), 2) : "?";
            }
        }
        std::cout << "| " << name << " | " << result << " | " << ratio << " | " << versus << " |\n";
    }
    return 0;
}

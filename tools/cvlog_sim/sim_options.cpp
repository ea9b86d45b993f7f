#include "tools/cvlog_sim/sim_options.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace cvlog::sim
{

namespace
{

bool ParseLong(std::string_view text, long low, long high, long& value)
{
    if (text.empty())
        return false;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool ParseAddress(std::string_view text, std::uint8_t& address)
{
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || ec != std::errc() || ptr != end || value > 0xFF)
        return false;
    address = static_cast<std::uint8_t>(value);
    return true;
}

std::optional<std::chrono::year_month_day> ParseDay(std::string_view text)
{
    long y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    if (!ParseLong(text.substr(0, 4), 1900, 9999, y) || !ParseLong(text.substr(5, 2), 1, 12, m)
        || !ParseLong(text.substr(8, 2), 1, 31, d))
        return std::nullopt;
    const std::chrono::year_month_day day { std::chrono::year(static_cast<int>(y)),
        std::chrono::month(static_cast<unsigned>(m)), std::chrono::day(static_cast<unsigned>(d)) };
    if (!day.ok())
        return std::nullopt;
    return day;
}

template <typename T, std::size_t N>
T* Lookup(const std::pair<std::string_view, T*> (&table)[N], std::string_view name)
{
    for (const auto& [key, target] : table) {
        if (key == name)
            return target;
    }
    return nullptr;
}

} // namespace

const char* UsageText()
{
    return "Usage: cvlog-sim [options]\n"
           "Plays one instrument or download key on a pseudo-terminal; the first line on stdout\n"
           "is the terminal's device path.\n"
           "  --type C            type letter: F, B, E, L, \", X, K or any other character (default F)\n"
           "  --long              long identity form (11-character identity text)\n"
           "  --serial TEXT       serial number, up to 4 characters (default: type letter + \"123\")\n"
           "  --version TEXT      version text, up to 7 characters (default V2.10)\n"
           "  --identity TEXT     identity text; for a key the target's serial number (default EA15)\n"
           "  --address HEX       source address of the replies (default FD)\n"
           "  --redirect          redirect the search at E1 and answer at FE only\n"
           "  --echo              send every received byte back before the reply\n"
           "  --flights FILE      flights, one a line, oldest first:\n"
           "                        YYYY-MM-DD H:MM minutes altitude-ft speed-mph student hobbs-minutes\n"
           "  --generate N        N generated flights (oldest first, the newest on --today)\n"
           "  --today YYYY-MM-DD  reference date of --generate (default: today)\n"
           "  --seed N            seed of --generate (default 1)\n"
           "  --first-slot N      log memory slot of the oldest flight (default 0)\n"
           "  --silent-after N    stop answering after N commands\n"
           "  --resume-after M    answer again after M commands ignored\n"
           "  --key-log FILE      append each key initialization command received\n"
           "  --log FILE          append each command frame received, as hex\n"
           "  --exit-on-eof       exit when stdin closes\n"
           "  --verbose           report dropped frames and unknown commands on stderr\n"
           "  --help              this text\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args)
{
    ParsedOptions parsed;
    SimOptions& o = parsed.options;
    DeviceConfig& d = o.device;
    const std::pair<std::string_view, bool*> flags[] = {
        { "--long", &d.longForm },
        { "--redirect", &d.redirect },
        { "--echo", &d.echo },
        { "--exit-on-eof", &o.exitOnEof },
        { "--verbose", &o.verbose },
        { "--help", &o.help },
        { "-h", &o.help },
    };
    const std::pair<std::string_view, std::string*> texts[] = {
        { "--serial", &d.serial },
        { "--version", &d.version },
        { "--identity", &d.identity },
        { "--flights", &o.flightsFile },
        { "--key-log", &o.keyLogPath },
        { "--log", &o.frameLogPath },
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto fail = [&](const std::string& why) {
            parsed.error = name + ": " + why;
            return parsed;
        };
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        auto number = [&](long low, long high, long& out) {
            const auto text = value();
            return text && ParseLong(*text, low, high, out);
        };
        long n = 0;

        if (bool* flag = Lookup(flags, name)) {
            if (inlineValue)
                return fail("takes no value");
            *flag = true;
        } else if (name == "--type") {
            const auto text = value();
            if (!text || text->size() != 1)
                return fail("needs exactly one character");
            d.typeLetter = text->front();
        } else if (std::string* field = Lookup(texts, name)) {
            const auto text = value();
            if (!text)
                return fail("needs a value");
            *field = *text;
        } else if (name == "--address") {
            const auto text = value();
            if (!text || !ParseAddress(*text, d.replyAddress))
                return fail("needs a hexadecimal byte such as FD or FF");
        } else if (name == "--generate") {
            if (!number(0, kMaxGeneratedFlights, n))
                return fail("needs a count from 0 to " + std::to_string(kMaxGeneratedFlights));
            o.generate = static_cast<int>(n);
        } else if (name == "--today") {
            const auto text = value();
            o.today = text ? ParseDay(*text) : std::nullopt;
            if (!o.today)
                return fail("needs a date YYYY-MM-DD");
        } else if (name == "--seed") {
            if (!number(0, 0xFFFFFFFFL, n))
                return fail("needs a number");
            o.seed = static_cast<std::uint32_t>(n);
        } else if (name == "--first-slot") {
            if (!number(0, 0xFFF, n))
                return fail("needs a slot number");
            d.firstSlot = static_cast<std::size_t>(n);
        } else if (name == "--silent-after" || name == "--resume-after") {
            if (!number(0, 1000000000L, n))
                return fail("needs a command count");
            (name == "--silent-after" ? d.silentAfter : d.resumeAfter) = n;
        } else {
            parsed.error = "unknown option " + args[i];
            return parsed;
        }
    }
    if (!o.flightsFile.empty() && o.generate > 0)
        parsed.error = "--flights and --generate exclude each other";
    return parsed;
}

std::string LoadFlights(SimOptions& options, std::chrono::year_month_day today)
{
    if (options.flightsFile.empty()) {
        options.device.flights
            = GenerateFlights(options.generate, options.today.value_or(today), options.seed);
        return {};
    }
    std::ifstream in(options.flightsFile, std::ios::binary);
    if (!in)
        return "cannot read " + options.flightsFile;
    std::ostringstream text;
    text << in.rdbuf();
    auto result = ReadFlightList(text.str());
    if (!result.error.empty())
        return options.flightsFile + ": " + result.error;
    options.device.flights = std::move(result.flights);
    return {};
}

} // namespace cvlog::sim

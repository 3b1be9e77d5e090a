// NetCDF files in the classic format with 64-bit offsets ("CDF-2"), which every NetCDF reader
// opens (the netCDF C library, netCDF4-python, xarray, MATLAB, ncdump): named dimensions,
// variables of doubles or 32-bit integers laid one after the other, and attributes of text,
// doubles or integers. Everything is big-endian. The layout is computed first, so that the
// values can be streamed into the file variable by variable, in the order declared.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orvane {

struct NetCdfAttribute {
    std::string name;
    std::variant<std::string, std::vector<double>, std::vector<std::int32_t>> value;
};

struct NetCdfDimension {
    std::string name;
    std::uint64_t length = 0;
};

enum class NetCdfType { Int, Double };

struct NetCdfVariable {
    std::string name;
    std::vector<int> dimensions;  // indices into the dimensions, slowest first
    NetCdfType type = NetCdfType::Double;
    std::vector<NetCdfAttribute> attributes;
};

// The header of a file with these dimensions, variables and global attributes, the variables'
// values following it in the order given, each exactly its dimensions' product of values.
// Throws InputError for a name NetCDF does not accept or a variable too large for the
// format (4 GiB each).
// `begins`, when given, receives the offset of each variable's first value in the file.
std::string NetCdfHeader(const std::vector<NetCdfDimension>& dimensions, const std::vector<NetCdfVariable>& variables,
                         const std::vector<NetCdfAttribute>& attributes, std::vector<std::uint64_t>* begins = nullptr);

// Values in the file's byte order, appended to `out`.
void AppendBigEndian(std::string& out, const double* values, std::size_t count);
void AppendBigEndian(std::string& out, const std::int32_t* values, std::size_t count);

} // namespace orvane

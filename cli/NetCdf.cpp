#include "cli/NetCdf.h"

#include <bit>
#include <limits>

#include "base/Errors.h"

namespace orvane {

namespace {

// Tags and types of the classic format.
constexpr std::uint32_t kDimensionTag = 0x0A;
constexpr std::uint32_t kVariableTag = 0x0B;
constexpr std::uint32_t kAttributeTag = 0x0C;
constexpr std::uint32_t kChar = 2;
constexpr std::uint32_t kInt = 4;
constexpr std::uint32_t kDouble = 6;

void Put32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Put64(std::string& out, std::uint64_t v)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Pad(std::string& out)
{
    while (out.size() % 4)
        out.push_back('\0');
}

// Names of letters, digits and underscores, not starting with a digit: what every reader takes.
void CheckName(const std::string& name)
{
    bool valid = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (const char c : name)
        valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    if (!valid)
        throw InputError("\"" + name + "\" is not a name a NetCDF file can hold (letters, digits and _)");
}

void PutName(std::string& out, const std::string& name)
{
    CheckName(name);
    Put32(out, static_cast<std::uint32_t>(name.size()));
    out += name;
    Pad(out);
}

void PutAttributes(std::string& out, const std::vector<NetCdfAttribute>& attributes)
{
    if (attributes.empty()) {
        Put32(out, 0);
        Put32(out, 0);
        return;
    }
    Put32(out, kAttributeTag);
    Put32(out, static_cast<std::uint32_t>(attributes.size()));
    for (const NetCdfAttribute& a : attributes) {
        PutName(out, a.name);
        if (const auto* text = std::get_if<std::string>(&a.value)) {
            Put32(out, kChar);
            Put32(out, static_cast<std::uint32_t>(text->size()));
            out += *text;
        } else if (const auto* reals = std::get_if<std::vector<double>>(&a.value)) {
            Put32(out, kDouble);
            Put32(out, static_cast<std::uint32_t>(reals->size()));
            AppendBigEndian(out, reals->data(), reals->size());
        } else {
            const auto& integers = std::get<std::vector<std::int32_t>>(a.value);
            Put32(out, kInt);
            Put32(out, static_cast<std::uint32_t>(integers.size()));
            AppendBigEndian(out, integers.data(), integers.size());
        }
        Pad(out);
    }
}

} // namespace

void AppendBigEndian(std::string& out, const double* values, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        Put64(out, std::bit_cast<std::uint64_t>(values[i]));
}

void AppendBigEndian(std::string& out, const std::int32_t* values, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        Put32(out, static_cast<std::uint32_t>(values[i]));
}

std::string NetCdfHeader(const std::vector<NetCdfDimension>& dimensions, const std::vector<NetCdfVariable>& variables,
                         const std::vector<NetCdfAttribute>& attributes, std::vector<std::uint64_t>* begins)
{
    std::string out = "CDF";
    out.push_back('\x02');
    Put32(out, 0);  // no record dimension: no records

    if (dimensions.empty()) {
        Put32(out, 0);
        Put32(out, 0);
    } else {
        Put32(out, kDimensionTag);
        Put32(out, static_cast<std::uint32_t>(dimensions.size()));
        for (const NetCdfDimension& d : dimensions) {
            // Length 0 would make the dimension the record dimension.
            if (d.length == 0 || d.length > std::numeric_limits<std::int32_t>::max())
                throw InputError("The dimension " + d.name + " of a NetCDF file must have 1 to 2^31 - 1 values");
            PutName(out, d.name);
            Put32(out, static_cast<std::uint32_t>(d.length));
        }
    }
    PutAttributes(out, attributes);

    // The variables, with the offsets of their values left to fill in once the header's
    // length is known.
    std::vector<std::size_t> offsetAt;
    std::vector<std::uint64_t> sizes;
    if (variables.empty()) {
        Put32(out, 0);
        Put32(out, 0);
    } else {
        Put32(out, kVariableTag);
        Put32(out, static_cast<std::uint32_t>(variables.size()));
    }
    for (const NetCdfVariable& v : variables) {
        PutName(out, v.name);
        Put32(out, static_cast<std::uint32_t>(v.dimensions.size()));
        std::uint64_t size = v.type == NetCdfType::Double ? 8 : 4;
        for (const int d : v.dimensions) {
            Put32(out, static_cast<std::uint32_t>(d));
            size *= dimensions.at(static_cast<std::size_t>(d)).length;
        }
        if (size > std::numeric_limits<std::uint32_t>::max() - 3)
            throw InputError("The variable " + v.name + " is too large for a NetCDF classic file (4 GiB)");
        PutAttributes(out, v.attributes);
        Put32(out, v.type == NetCdfType::Double ? kDouble : kInt);
        Put32(out, static_cast<std::uint32_t>(size));
        offsetAt.push_back(out.size());
        Put64(out, 0);
        sizes.push_back(size);
    }
    std::uint64_t begin = out.size();
    for (std::size_t i = 0; i < offsetAt.size(); ++i) {
        std::string offset;
        Put64(offset, begin);
        out.replace(offsetAt[i], 8, offset);
        if (begins)
            begins->push_back(begin);
        begin += sizes[i];
    }
    return out;
}

} // namespace orvane

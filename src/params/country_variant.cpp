#include "params/country_variant.h"

#include <utility>

#include "params/telephony_rules.h"

namespace vardex::params {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

CountryVariant CountryVariant::Of(std::string_view country) {
    CountryVariant v;
    v.x25 = country == "Hungary" || country == "Cyprus";
    v.fsk_level = !(country == "Brasil" || country == "Brasil USB");
    v.hungarian = country == "Hungary";
    v.polish = Contains(country, "Poland") || Contains(country, "poland");
    // V.120: the Emirates, Cyprus and Saudi Arabia, under the names their
    // firmware gives; V.110 wherever V.120 is, and in Lithuania.
    v.v120 = country == "United Arab Emirates" || Contains(country, "UAE") ||
             Contains(country, "Cyprus") || Contains(country, "SaudiArabia") ||
             Contains(country, "Saudiarabia");
    v.v110 = v.v120 || Contains(country, "Lithuania");
    return v;
}

bool CountryVariant::Has(Feature feature) const {
    switch (feature) {
        case Feature::kX25:
            return x25;
        case Feature::kFskLevel:
            return fsk_level;
        case Feature::kHungarian:
            return hungarian;
        case Feature::kNotHungarian:
            return !hungarian;
        case Feature::kConnection:
            return !polish;
        case Feature::kAll:
            break;
    }
    return true;
}

int CountryVariant::FlashMinimum() const {
    return polish ? kFlashMinimumPoland : kFlashMinimum;
}

void SetCountry(CDeviceConfig& record, std::string country) {
    const CountryVariant v = CountryVariant::Of(country);
    record.m_strCountry = std::move(country);
    record.m_bX25Available = v.x25 ? 1 : 0;
    record.m_bFskLevelAvailable = v.fsk_level ? 1 : 0;
}

CountryVariant VariantOf(const CDeviceConfig& record) {
    CountryVariant v = CountryVariant::Of(record.m_strCountry);
    v.x25 = record.m_bX25Available != 0;
    v.fsk_level = record.m_bFskLevelAvailable != 0;
    return v;
}

std::string_view WhyNot(Feature feature) {
    switch (feature) {
        case Feature::kX25:
            return "this variant has no X.25";
        case Feature::kFskLevel:
            return "this variant has no FSK level";
        case Feature::kHungarian:
            return "only the Hungarian variant has it";
        case Feature::kNotHungarian:
            return "the Hungarian variant does not have it";
        case Feature::kConnection:
            return "the Polish variant keeps its connection settings";
        case Feature::kAll:
            break;
    }
    return {};
}

}  // namespace vardex::params

#pragma once

// Texts of the download offer.
namespace offer_texts {
// The choice dialog's line naming the file, then its host.
inline constexpr char kFileFromHost[] = "%s from %s";
}  // namespace offer_texts

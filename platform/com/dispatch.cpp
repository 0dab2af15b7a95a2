#include "platform/com/dispatch.h"

VARIANT VariantFromString(std::u16string text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = std::move(text);
  return v;
}

VARIANT VariantFromShort(int16_t value) {
  VARIANT v;
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

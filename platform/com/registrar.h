#pragma once

// Runs registry scripts, the text form in which a server library describes
// its registry entries:
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C} = s 'KestrionIE Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// Tokens are separated by white space; a token in single quotes may hold
// any character ('' is one quote). A key may have a default value
// (`= s 'text'` or `= d 5`), named values (`val Name = s 'text'`) and
// sub-keys. Registering creates every key and writes every value; a
// ForceRemove key is deleted with everything under it first. Unregistering
// removes the script's keys, deepest first: a ForceRemove key with all it
// holds, any other key once no sub-key is left in it (otherwise only the
// values the script names), and a NoRemove key never. %NAME% stands for a
// replacement's text and %% for one '%'.
//
// The whole script is read before the registry is touched, so a malformed
// script (E_INVALIDARG) changes nothing.

#include <map>
#include <string>

#include "platform/com/hresult.h"

class Registrar {
 public:
  void AddReplacement(const std::string& name, const std::string& text) { m_replacements[name] = text; }
  // The first registry failure, as a status; registration stops there.
  HRESULT RegisterScript(const std::string& script) const;
  // Keys already missing are no failure.
  HRESULT UnregisterScript(const std::string& script) const;

 private:
  std::map<std::string, std::string> m_replacements;
};

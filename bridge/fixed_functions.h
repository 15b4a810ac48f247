// Turns a row of fixed_function_table.inc into its exports: X(name, operands, entry) once per
// export, name being the export name without the QUORBELT_ prefix (BEDRIJF_NL ... BEDRIJF_PT,
// FLDOPT). Define QB_FUNCTION(word, operands, entry, languages) as
// QB_EXPORTS_OF(X, word, operands, entry, languages), then include fixed_function_table.inc.
#pragma once

#define QB_EXPORTS_OF(X, word, operands, entry, languages) \
    QB_LANGUAGES_##languages(X, word, operands, entry)

#define QB_LANGUAGES_LOCALISED(X, word, operands, entry) \
    X(word##_NL, operands, entry)                         \
    X(word##_EN, operands, entry)                         \
    X(word##_FR, operands, entry)                         \
    X(word##_DE, operands, entry)                         \
    X(word##_ES, operands, entry)                         \
    X(word##_PT, operands, entry)
#define QB_LANGUAGES_NEUTRAL(X, word, operands, entry) X(word, operands, entry)

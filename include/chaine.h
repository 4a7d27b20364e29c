/* chaine.h: small text utilities: useful (non-comment, non-blank) lines of text files, path
 * parts of wide file names, free file names, and keyword files, in which a setting is a line
 * "keyword value" and lines starting with '#' are comments. Keywords are compared literally, as
 * words (an empty keyword names no setting: the searches never find it and the rewrite refuses
 * it): a keyword that begins (ends) with a letter, digit or '_' is not found where one comes
 * before (after) it, so NB is not found inside NBMAX.
 * A line is a line whatever its length: the reading functions go through each line to its end
 * and leave the stream at the start of the next one; a caller's 256-byte buffer receives 255
 * characters of a longer line (its start, or for a search the run holding the keyword), and
 * the rest is never taken for a line of its own; the reading functions take no memory. No
 * function emits a message; failures are results. No shared state. */
#ifndef KVELO_CHAINE_H
#define KVELO_CHAINE_H

#include "kvelo_export.h"

#include <stdio.h>
#include <wchar.h>

KVELO_C_BEGIN

/* 1 for a useful line: first character neither '\n' nor '#', and not only spaces followed by
 * one last character (the newline); else 0 (also for null). */
KVELO_API int ligne_utile(const char* line);
/* Reads lines of f until a useful one (the rule of ligne_utile applied to the whole line) and
 * puts its first 255 characters in buf (256 bytes): 1; at the end of the file buf is emptied and
 * the result is 0 (also for a null argument). */
KVELO_API int ligne_suivante(char* buf, FILE* f);

/* Path parts. '/' and '\\' both separate directories. Each returns null for a null path;
 * with out null the result is a heap string to free with kvelomem_free (null with errno ENOMEM
 * when memory runs out), otherwise it is copied into out (room for the path and its
 * terminator; out may be path itself) and out is returned: a given out takes no memory, so it
 * never fails. */
/* The part after the last '/' (else after the last '\\', else the whole path). */
KVELO_API wchar_t* extraire_fichier(const wchar_t* path, wchar_t* out);
/* The path cut at its last '/' and then at the last '\\' of what remains; a path with no
 * separator gives null, sets a given out to the empty string and leaves errno alone (so with
 * out null, a null for a path holding a separator is the want of memory, errno ENOMEM). */
KVELO_API wchar_t* extraire_repertoire(const wchar_t* path, wchar_t* out);
/* The path without the extension of its last component (from that component's last '.',
 * unless the '.' starts the component); a path without one comes back unchanged. */
KVELO_API wchar_t* enleve_extension(const wchar_t* path, wchar_t* out);
/* name itself when no file has it, else the first of base_1ext, base_2ext, ... that no file
 * has, base and ext as enleve_extension splits name (directory kept, ext possibly empty).
 * Heap string to free with kvelomem_free; null for a null name, or errno ENOMEM and null for
 * no memory. */
KVELO_API wchar_t* kvelo_nom_libre(const wchar_t* name);
/* 1 when s holds white space before its trailing white space (leading white space counts),
 * else 0 (also for null); reads s in place, taking no memory. */
KVELO_API int cadena_con_blanco(const char* s);

/* Reads lines of f from the current position up to the first useful line containing keyword
 * (as a word) anywhere (a keyword of more than 255 characters is never found): *found = 1 and
 * a pointer to the keyword inside line (256 bytes), which holds the 255 or fewer characters of
 * the line where it was found first; the stream is then at the start of the next line. At the
 * end of the file (or for a null argument) *found = 0 and null. */
KVELO_API char* cherche_mot_cle(FILE* f, const char* keyword, int* found, char* line);
/* Reads lines of f up to the first setting of keyword: a useful line that begins with it (as
 * a word); lines that only mention it are passed over. When white space and an integer follow
 * the keyword, stores it in *value and returns 1 (*found = 1). Returns 0 when no setting is
 * found (*found = 0) or no integer follows or it exceeds the int range, and -1 (EOF) when
 * nothing follows the keyword; *value is then unchanged. */
KVELO_API int lire_valeur_mot_cle(FILE* f, const char* keyword, int* found, char* line, int* value);
/* Reads lines as lire_valeur_mot_cle; *yes = 1 when the next word after the keyword begins
 * with 'O', 'Y', 'o' or 'y', else 0. Returns 1 when a word was read, 0 when no setting is
 * found, -1 (EOF) when nothing follows the keyword. */
KVELO_API int lire_valeur_mot_cle_yn(FILE* f, const char* keyword, int* found, char* line, int* yes);
/* Puts line in the keyword file path: a missing file is created holding line alone (no
 * newline added, *found = 0); a file without a setting of keyword (a useful line beginning
 * with it, as the readers take it) gets line and a newline appended (after a newline when its
 * last line lacked one, *found = 0); otherwise every setting of keyword becomes line and a
 * newline (*found = 1), and lines that only mention the keyword stay. A last line without its
 * newline that becomes a setting by the newline an append would give it (a bare "A" for A) is
 * a setting too: it is replaced, so that after the rewrite every setting reads the new line.
 * An empty keyword is refused (-1, nothing changed). Lines are taken whole;
 * every other line is copied byte for byte, whatever its length. In every case the new content
 * is written whole to "<path>.tmp", which is renamed over path once on disk, so that the
 * keyword file is never lost nor left cut. 0, or -1 when a file cannot be read, created or
 * written or memory runs out (the keyword file then stays as it was and "<path>.tmp" is
 * removed). */
KVELO_API int subsitue_mot_cle(const char* path, const char* keyword, int* found, const char* line);

KVELO_C_END

#endif

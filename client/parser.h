// parser.h: the statement parser (PARSE) of the client side.
// Reads one SQL statement with the lexer and writes its command message
// into the message buffer (client/message.h) as it goes, with WHERE
// conditions rewritten into postfix order. It checks syntax only: names,
// types and existence are the engine's business.
//
// Messages, in the notation 'k' = a kind byte, 'a'(n) a name token,
// 'f'(s) a string, 'd'(i) an integer, 'e'(x) a float; [] optional, {} repeated:
//
//   CREATE DATABASE d            '3' 'a'(d)
//   DROP DATABASE                '4'
//   CREATE TABLE t (c type [NOT NULL], ...)
//                                '5' 'a'(t) { 'a'(c) type ['d'(n)] ['F'] } 'x'
//   DROP TABLE t                 '6' 'a'(t)
//   CREATE [UNIQUE] INDEX i ON t (c, ...)
//                                '7'|'8' 'a'(i) 'a'(t) { 'a'(c) } 'x'
//   DROP INDEX i                 '9' 'a'(i)
//   SELECT body                  'C' body 'x'
//   INSERT INTO t [(c, ...)] VALUES (v, ...)
//                                'E' 'a'(t) { 'a'(c) } 'X' { v } 'x'
//   DELETE FROM t [WHERE cond]   'G' 'a'(t) [ where ] 'x'
//   UPDATE t SET c = v, ... [WHERE cond]
//                                'I' 'a'(t) { 'a'(c) v } [ where ] 'x'
//   BEGIN / COMMIT or END / ABORT      'J' / 'K' / 'M'
//   DECLARE k CURSOR FOR SELECT body   'N' 'a'(k) body 'x'
//   FETCH ALL IN k / FETCH w k   'O' '%' 'a'(k) / 'O' 'a'(k)
//   CLOSE k                      'P' 'a'(k)
//   SET TABLE t STATIC / SECURE  'Q' 'a'(t) / 'U' 'a'(t)
//   SET DATABASE d               'X' 'a'(d)
//   SAVE DATABASE                'R'
//   SHOW DATABASES / TABLES / INDICES
//                                'S' 0xF6 / 'S' 0xFC / 'S' 0xE4
//   SHOW INDICES ON TABLE t      'S' '?' 0xE4 'a'(t)
//   SHOW TABLE t / SHOW INDEX i  'S' '?' 'a'(t) / 'S' '9' 'a'(i)
//   MAX n / MAX                  'T' 'd'(n) / 'T' 'F'
//   STOP                         'V'
//
//   body:  ['7'] item {item} 'v' table {table} [ where ] [ order ]
//   item:  'W' | 'C' | 'I'|'J' ['f'(t)] 'a'(c) | ['f'(t)] 'a'(c) | 'f'(t) 'W'
//   table: 'a'(t) ['f'(alias)]
//   where: 'w' condition-in-postfix 'w'
//   order: 'H' { 'a'(c) | 'D' 'a'(t) 'a'(c), then [']' for DESC] } 'H'
#pragma once

#include <string>

// Parses the statement in `sql` (a private, modifiable copy: the lexer
// upper-cases parts of it in place) and appends its message to the message
// buffer, which the caller has reset. On failure *error holds the one
// message of the first error and the message buffer holds a partial
// message that must not be sent.
[[nodiscard]] int PARSE_Statement(char* sql, std::string* error);

// For the record modules: `text` must begin with WHERE; appends where
// ('w' condition 'w') to the message being built. `text` is lexed in place,
// so it must be modifiable. Without an error buffer (nullptr) the message
// of a failure is discarded. Nothing after the condition is checked.
[[nodiscard]] int DBquery_addwhere(char* text, std::string* error);

// Tokens gathered while a tokenizer runs, as one contiguous array that grows
// in place at the end of its arena: a tokenizer does not know how many tokens
// its text holds until it has read it all, and gathering them elsewhere to
// copy them at the end would hold them twice. The arena must take nothing
// else until `token_buffer_array`. Any token type.
#pragma once

#include <string.h>

#include "base/arena.h"

#define TOKEN_BUFFER_BLOCK 4096

template <typename Token>
struct TokenBuffer {
    Arena* arena;
    Token* tokens;
    u64 count;
    u64 capacity;
    u64 end_pos;  // arena position just after the array's room
};

template <typename Token>
TokenBuffer<Token> token_buffer(Arena* arena) {
    TokenBuffer<Token> buffer = {};
    buffer.arena = arena;
    return buffer;
}

// Room for TOKEN_BUFFER_BLOCK more tokens: next to the array when the arena
// still ends there, else (the arena went on in a new block) the array moves
// to room for twice as many.
template <typename Token>
void token_buffer_grow(TokenBuffer<Token>* buffer) {
    Token* more = push_array_no_zero<Token>(buffer->arena, TOKEN_BUFFER_BLOCK);
    if (buffer->tokens && more == buffer->tokens + buffer->capacity) {
        buffer->capacity += TOKEN_BUFFER_BLOCK;
    } else if (!buffer->tokens) {
        buffer->tokens = more;
        buffer->capacity = TOKEN_BUFFER_BLOCK;
    } else {
        u64 capacity = buffer->capacity * 2;
        Token* moved = push_array_no_zero<Token>(buffer->arena, capacity);
        memcpy(moved, buffer->tokens, sizeof(Token) * buffer->count);
        buffer->tokens = moved;
        buffer->capacity = capacity;
    }
    buffer->end_pos = arena_pos(buffer->arena);
}

template <typename Token>
void token_buffer_push(TokenBuffer<Token>* buffer, const Token& token) {
    if (buffer->count == buffer->capacity) token_buffer_grow(buffer);
    buffer->tokens[buffer->count++] = token;
}

// The tokens in order, contiguous (at least one element's room, so that the
// array is never null); the room left over goes back to the arena.
template <typename Token>
Token* token_buffer_array(TokenBuffer<Token>* buffer) {
    if (!buffer->tokens) return push_array_no_zero<Token>(buffer->arena, 1);
    u64 spare = buffer->capacity - (buffer->count ? buffer->count : 1);
    if (arena_pos(buffer->arena) == buffer->end_pos) arena_pop_to(buffer->arena, buffer->end_pos - spare * sizeof(Token));
    return buffer->tokens;
}

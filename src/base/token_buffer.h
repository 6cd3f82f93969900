// Tokens gathered while a tokenizer runs, in blocks of a scratch arena, and
// made one contiguous array at the end: a tokenizer does not know how many
// tokens its text holds until it has read it all. Any token type.
#pragma once

#include <string.h>

#include "base/arena.h"

#define TOKEN_BUFFER_BLOCK 4096

template <typename Token>
struct TokenBufferBlock {
    TokenBufferBlock* next;
    u64 count;
    Token tokens[TOKEN_BUFFER_BLOCK];
};

template <typename Token>
struct TokenBuffer {
    Arena* arena;  // the blocks (scratch memory)
    TokenBufferBlock<Token>* first;
    TokenBufferBlock<Token>* last;
    u64 count;
};

template <typename Token>
TokenBuffer<Token> token_buffer(Arena* scratch) {
    TokenBuffer<Token> buffer = {};
    buffer.arena = scratch;
    return buffer;
}

template <typename Token>
void token_buffer_push(TokenBuffer<Token>* buffer, const Token& token) {
    TokenBufferBlock<Token>* last = buffer->last;
    if (!last || last->count == TOKEN_BUFFER_BLOCK) {
        last = push_array_no_zero<TokenBufferBlock<Token>>(buffer->arena, 1);
        last->next = 0;
        last->count = 0;
        SLL_QUEUE_PUSH(buffer->first, buffer->last, last);
    }
    last->tokens[last->count++] = token;
    buffer->count += 1;
}

// The tokens in order, contiguous, in `arena` (at least one element's room,
// so that the array is never null).
template <typename Token>
Token* token_buffer_array(const TokenBuffer<Token>* buffer, Arena* arena) {
    Token* tokens = push_array_no_zero<Token>(arena, buffer->count ? buffer->count : 1);
    u64 at = 0;
    for (TokenBufferBlock<Token>* block = buffer->first; block; block = block->next) {
        memcpy(tokens + at, block->tokens, sizeof(Token) * block->count);
        at += block->count;
    }
    return tokens;
}

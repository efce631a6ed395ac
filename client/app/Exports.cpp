// The seven exported client functions (filled by the client API).

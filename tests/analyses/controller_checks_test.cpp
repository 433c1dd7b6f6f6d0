// Cases are added with the analyses they cover.

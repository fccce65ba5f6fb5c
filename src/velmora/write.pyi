# Builders of new decks.

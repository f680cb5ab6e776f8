# Reads CSV files with read.csv (no options) and checks each column's class
# against tests/csv_types.txt. Usage: Rscript csv_types.R TYPES LAYOUT[+LAYOUT]=FILE...
# Prints one line per fault; exit status 1 when there is one.
args <- commandArgs(trailingOnly = TRUE)
lines <- trimws(readLines(args[1], encoding = "UTF-8"))
lines <- lines[nzchar(lines) & !startsWith(lines, "#")]
sections <- list()
for (line in lines) {
  if (startsWith(line, "[")) {
    current <- gsub("[][]", "", line)
    sections[[current]] <- character(0)
  } else {
    parts <- strsplit(line, " ")[[1]]
    sections[[current]][parts[1]] <- parts[2]
  }
}
want_class <- c("int" = "integer", "int?" = "integer", "num" = "numeric", "num?" = "numeric",
                "bool" = "logical", "text" = "character", "value" = "character")
bad <- 0
for (arg in args[-1]) {
  at <- regexpr("=", arg, fixed = TRUE)
  path <- substring(arg, at + 1)
  want <- unlist(lapply(strsplit(substring(arg, 1, at - 1), "+", fixed = TRUE)[[1]],
                        function(n) sections[[n]]))
  data <- read.csv(path)
  if (!identical(names(data), names(want))) {
    cat(path, ": columns ", paste(names(data), collapse = ","), " are not ",
        paste(names(want), collapse = ","), "\n", sep = "")
    bad <- bad + 1
    next
  }
  for (name in names(want)) {
    kind <- want[[name]]
    column <- data[[name]]
    got <- class(column)
    if (kind == "value" && got %in% c("character", "numeric", "integer")) next
    empty <- all(is.na(column)) && got == "logical" && kind %in% c("int?", "num?", "text")
    gaps <- kind %in% c("int", "num", "bool") && any(is.na(column))
    if (!empty && (got != want_class[[kind]] || gaps)) {
      cat(path, ": column ", name, " (", kind, ") read as ", got,
          if (gaps) " with NA" else "", "\n", sep = "")
      bad <- bad + 1
    }
  }
}
quit(status = if (bad > 0) 1 else 0)

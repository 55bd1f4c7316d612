<%@ page buffer="1kb" %>
<% for (int i = 0; i < 40; i++) { %>
<p>row <%= i %> of a page whose output outgrows its buffer</p>
<% } %>

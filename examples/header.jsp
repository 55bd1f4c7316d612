<div class="header">
<% String title = "Included"; %>
<b><%= "Header" %></b>
</div>
